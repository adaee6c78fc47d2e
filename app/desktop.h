#pragma once
// The desktop program's parts, put together in the order the program starts them: the main window,
// then the waiting window, then the form on them.

#include "app/main_window.h"
#include "app/qt_presentation.h"
#include "app/splash_form.h"
#include "views/main_form.h"

namespace vt::app {

class Desktop {
  public:
    explicit Desktop(FormEnvironment environment);

    // Shows the window; the start-up sequence runs once it is on screen. `then` runs after it.
    void Start(std::function<void()> then = {});

    MainWindow window;
    TSplashForm splash;
    QtPresentation ui;
    TMainForm form;
};

}  // namespace vt::app
