#pragma once
// The Windows program's parts, put together in the order the program starts them: the main
// window, then the waiting window, then the form on them.

#include <functional>

#include "views/main_form.h"
#include "winapp/main_window.h"
#include "winapp/win_presentation.h"

namespace vt::win {

class Desktop {
  public:
    // `dpi`: as for MainWindow.
    Desktop(HINSTANCE instance, FormEnvironment environment, int dpi = 0);

    // Shows the window; the start-up sequence runs once the message loop runs, `then` after it.
    void Start(std::function<void()> then = {});

    MainWindow window;
    SplashWindow splash;
    WinPresentation ui;
    TMainForm form;
};

// Runs the message loop until the main window is gone; the loop's exit code.
int RunMessageLoop(HWND main_window);

}  // namespace vt::win
