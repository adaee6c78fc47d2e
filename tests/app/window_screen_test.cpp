#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTabBar>
#include <QTest>
#include <set>

#include "app/desktop.h"
#include "tests/support/fake_backend.h"

namespace vt::app {
namespace {

// On a real X server: the window maps at its fixed size and its tab row is drawn.
TEST(AppScreen, WindowRendersAtItsSizeWithItsTabs) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server";
    test::ScopedFakeBackend backend;
    test::ScopedTempDir dir;
    Desktop desktop({dir.path(), "vtutility", [] { return DeviceListRecord{}; }});
    desktop.Start();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&desktop.window));
    QTest::qWait(300);

    const QImage shot = desktop.window.screen()->grabWindow(desktop.window.winId()).toImage();
    EXPECT_EQ(shot.size(), QSize(1194, 723));

    auto* tabs = desktop.window.Pages()->findChild<QTabBar*>();
    ASSERT_NE(tabs, nullptr);
    QStringList shown;
    for (int i = 0; i < tabs->count(); ++i) {
        if (tabs->isTabVisible(i)) shown << tabs->tabText(i);
    }
    EXPECT_EQ(shown, (QStringList{"SSD Info", "Erase Count", "Bad Block Info", "S.M.A.R.T info",
                                  "Device Info"}));
    // Every shown tab is on screen, inside the window, with its caption drawn in it.
    for (int i = 0; i < 5; ++i) {
        const QRect tab(tabs->mapTo(&desktop.window, tabs->tabRect(i).topLeft()),
                        tabs->tabRect(i).size());
        EXPECT_TRUE(QRect(QPoint(0, 0), shot.size()).contains(tab)) << i;
        std::set<QRgb> colours;
        for (int y = tab.top(); y <= tab.bottom(); ++y) {
            for (int x = tab.left(); x <= tab.right(); ++x) colours.insert(shot.pixel(x, y));
        }
        EXPECT_GT(colours.size(), 2u) << "tab " << i << " is blank";
    }
}

}  // namespace
}  // namespace vt::app
