#include "app/splash_form.h"

#include <QGuiApplication>
#include <QScreen>

namespace vt::app {

TSplashForm::TSplashForm()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("SplashForm"));
    setWindowTitle(QStringLiteral("Waiting............"));
    setFixedSize(250, 59);
    // It must not take the focus or input from the main window while it is up.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowModality(Qt::NonModal);
}

void TSplashForm::CentreOnScreen() {
    const auto* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    move(available.center() - QPoint(width() / 2, height() / 2));
}

}  // namespace vt::app
