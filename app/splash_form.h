#pragma once
// The waiting window: shown, not run, while a refresh reads the long tables.

#include <QWidget>

namespace vt::app {

class TSplashForm final : public QWidget {
  public:
    TSplashForm();
    void CentreOnScreen();
};

}  // namespace vt::app
