#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <QTextBlock>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "access/device_tables.h"
#include "access/mode_flags.h"
#include "app/desktop.h"
#include "sim/bench.h"
#include "tests/support/fake_backend.h"
#include "tests/support/scoped_bench.h"

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

struct Fit {
    double widest = 0;  // pixels of the widest line
    QString line;
};

// The widths an edit's text has: its contents inside the frame, less the margins QLineEdit keeps
// on either side.
double EditRoom(QLineEdit* edit) {
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    option.state |= QStyle::State_Sunken;
    const QRect contents =
        edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    const QMargins margins = edit->textMargins();
    return contents.width() - margins.left() - margins.right() - 2 * 2;
}

// The rightmost column of dark pixels inside a widget's area of the shot, relative to its left.
int RightmostInk(const QImage& shot, QWidget* window, QWidget* area) {
    const QRect r(area->mapTo(window, QPoint(0, 0)), area->size());
    int rightmost = -1;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            if (qGray(shot.pixel(x, y)) < 96) rightmost = std::max(rightmost, x - r.left());
        }
    }
    return rightmost;
}

// Every page's texts for the largest geometry, in the fonts the window names, fit the controls the
// layout made for them: measured line by line in the memos' and edits' fonts, and in the shot.
TEST(AppScreen, PagesOfTheLargestGeometryFitTheirControls) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server";
    SpecialMode = DebugFileEnabled = RawDumpEnabled = false;
    CurrentDevice = 0;
    test::ScopedBench bench(nlohmann::json::array({vt::sim::LargestGeometryDrive()}), false);
    test::ScopedTempDir dir;
    Desktop desktop({dir.path(), "vtutility", {}});
    desktop.Start();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&desktop.window));
    QTest::qWait(200);
    desktop.form.ClickDeviceRow(0);
    desktop.form.GetSmartInfoBnClick();
    QTest::qWait(100);

    // Qt drew with the very fonts the table names, not a substitute.
    const QFontInfo window_font(desktop.window.font());
    EXPECT_EQ(window_font.family(), QString::fromLatin1(kWindowFontFamily.data()));
    EXPECT_EQ(window_font.pointSize(), kWindowFontPoints);
    for (const auto& spec : MainFormControls()) {
        if (spec.kind != ControlKind::Memo) continue;
        const QFontInfo memo(desktop.window.Control(spec.name)->font());
        EXPECT_EQ(memo.family().toStdString(), std::string(spec.font_family)) << spec.name;
        EXPECT_EQ(memo.pointSize(), kWindowFontPoints) << spec.name;
    }

    const auto page_of = [&](const char* page) {
        desktop.window.Pages()->setCurrentIndex(desktop.window.PageIndex(page));
        QTest::qWait(150);
        const QImage shot = desktop.window.screen()->grabWindow(desktop.window.winId()).toImage();
        if (const char* keep = std::getenv("VT_SCREENSHOT_DIR"))
            shot.save(QString::fromLocal8Bit(keep) + "/" + page + ".png");
        return shot;
    };
    const auto memo_fits = [&](const QImage& shot, const char* name, int min_lines) {
        auto* memo = qobject_cast<QPlainTextEdit*>(desktop.window.Control(name));
        ASSERT_NE(memo, nullptr) << name;
        const QFontMetricsF metrics(memo->font());
        Fit fit;
        int lines = 0;
        for (auto block = memo->document()->begin(); block.isValid(); block = block.next()) {
            ++lines;
            const double w = metrics.horizontalAdvance(block.text());
            if (w > fit.widest) fit = {w, block.text()};
        }
        EXPECT_GE(lines, min_lines) << name;
        const double room = memo->viewport()->width() - 2 * memo->document()->documentMargin();
        std::printf("%s: widest line %.1f px, room %.1f px\n", name, fit.widest, room);
        EXPECT_LE(fit.widest, room) << name << ": \"" << fit.line.toStdString() << "\"";
        EXPECT_EQ(memo->horizontalScrollBar()->maximum(), 0) << name;
        // Nothing is drawn at the viewport's right edge: no line is cut there.
        EXPECT_LT(RightmostInk(shot, &desktop.window, memo->viewport()),
                  memo->viewport()->width() - 2)
            << name;
        EXPECT_GT(RightmostInk(shot, &desktop.window, memo->viewport()), 20) << name;
    };
    const auto edits_fit = [&](std::initializer_list<const char*> names) {
        double least_left = 1e9;
        const char* tightest = "";
        for (const char* name : names) {
            auto* edit = qobject_cast<QLineEdit*>(desktop.window.Control(name));
            ASSERT_NE(edit, nullptr) << name;
            const double w = QFontMetricsF(edit->font()).horizontalAdvance(edit->text());
            if (EditRoom(edit) - w < least_left) {
                least_left = EditRoom(edit) - w;
                tightest = name;
            }
            EXPECT_LE(w, EditRoom(edit)) << name << ": \"" << edit->text().toStdString() << "\"";
        }
        std::printf("tightest edit %s: %.1f px to spare\n", tightest, least_left);
    };

    const QImage ssd = page_of("TabSheet1");
    edits_fit({"FlashmodelEdit", "ChannelEdit", "CapacityEdit", "DriverEdit", "ResPerEdit",
               "EccReadEdit", "EccCopyEdit", "WearLevelingEdit", "BankMapEdit", "FwEdit",
               "SupportEdit1", "SupportEdit2", "FlashInfoEdit", "FlashTypeEdit", "BlockCeEdit",
               "PageBlockEdit", "CeEdit"});
    memo_fits(ssd, "SSDInfoMemo", 10);
    memo_fits(ssd, "DpdFTLMemo", 9);

    const QImage bad = page_of("TabSheet3");
    memo_fits(bad, "BadBlockMemo", 64);
    auto* summary = qobject_cast<QPlainTextEdit*>(desktop.window.Control("BadBlockMemo"));
    EXPECT_TRUE(summary->toPlainText().contains("[System]"));

    const QImage smart = page_of("TabSheet4");
    memo_fits(smart, "SMARTMemo", 10);
    auto* grid = qobject_cast<QTableWidget*>(desktop.window.Control("StringGrid1"));
    ASSERT_NE(grid, nullptr);
    const QFontMetricsF grid_metrics(grid->font());
    int filled = 0;
    for (int row = 0; row < grid->rowCount(); ++row) {
        for (int column = 0; column < grid->columnCount(); ++column) {
            const QString text = grid->item(row, column)->text();
            if (text.isEmpty()) continue;
            ++filled;
            // The cell's text margins of the style: 3 pixels a side and the grid line.
            EXPECT_LE(grid_metrics.horizontalAdvance(text) + 7, grid->columnWidth(column))
                << row << "/" << column << ": \"" << text.toStdString() << "\"";
        }
    }
    std::printf("S.M.A.R.T. grid: %d cells checked\n", filled);
    EXPECT_GT(filled, 30);
    EXPECT_EQ(grid->horizontalScrollBar()->maximum(), 0);

    page_of("TabSheet5");
    edits_fit({"ModelNameEdit", "SNEdit", "FwVersionEdit", "DiskHeadEdit", "ChsEdit",
               "TotalSectorEdit", "MultiwordDMAmodeEdit", "MultiwordDMAEdit", "UltraDMAModeEdit",
               "UltraDMAEdit", "SMARTfeatureEdit", "SecurityModeEdit", "WWNEdit"});
}

}  // namespace
}  // namespace vt::app
