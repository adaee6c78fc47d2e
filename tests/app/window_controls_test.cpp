#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "app/desktop.h"
#include "tests/support/fake_backend.h"

namespace vt::app {
namespace {

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

class WindowTest : public ::testing::Test {
  protected:
    test::ScopedFakeBackend backend;
    test::ScopedTempDir dir;
    Desktop desktop{{dir.path(), "vtutility", [] { return DeviceListRecord{}; }}};
};

// What the user sees of a control: its widget's own caption.
QString ShownCaption(QWidget* widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    return {};
}

TEST_F(WindowTest, EveryControlIsAWidgetOfItsKindUnderItsName) {
    for (const auto& spec : MainFormControls()) {
        auto* widget = desktop.window.findChild<QWidget*>(Latin1(spec.name));
        ASSERT_NE(widget, nullptr) << spec.name;
        bool kind_fits = false;
        switch (spec.kind) {
            case ControlKind::Edit:
            case ControlKind::LabeledEdit:
                kind_fits = qobject_cast<QLineEdit*>(widget);
                break;
            case ControlKind::Memo:
                kind_fits = qobject_cast<QPlainTextEdit*>(widget);
                break;
            case ControlKind::Grid:
            case ControlKind::List:
                kind_fits = qobject_cast<QTableWidget*>(widget);
                break;
            case ControlKind::Combo:
                kind_fits = qobject_cast<QComboBox*>(widget);
                break;
            case ControlKind::Button:
                kind_fits = qobject_cast<QPushButton*>(widget);
                break;
            case ControlKind::Group:
                kind_fits = qobject_cast<QGroupBox*>(widget);
                break;
            case ControlKind::Label:
            case ControlKind::Image:
                kind_fits = qobject_cast<QLabel*>(widget);
                break;
            case ControlKind::Check:
                kind_fits = qobject_cast<QCheckBox*>(widget);
                break;
            case ControlKind::PageControl:
                kind_fits = qobject_cast<QTabWidget*>(widget);
                break;
            case ControlKind::Shape:
            case ControlKind::Page:
                kind_fits = true;
                break;
        }
        EXPECT_TRUE(kind_fits) << spec.name << " is a " << widget->metaObject()->className();
        if (spec.kind == ControlKind::Page) continue;
        EXPECT_EQ(widget->isHidden(), !spec.visible) << spec.name;
        EXPECT_EQ(widget->isEnabled(), spec.enabled) << spec.name;
        if (spec.kind == ControlKind::LabeledEdit) {
            auto* label = qobject_cast<QLabel*>(desktop.window.CaptionLabel(spec.name));
            ASSERT_NE(label, nullptr) << spec.name;
            EXPECT_EQ(label->text(), Latin1(spec.caption)) << spec.name;
        } else if (!spec.caption.empty()) {
            EXPECT_EQ(ShownCaption(widget), Latin1(spec.caption)) << spec.name;
        }
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            EXPECT_EQ(edit->isReadOnly(), spec.read_only) << spec.name;
            EXPECT_EQ(edit->text(), Latin1(spec.text)) << spec.name;
        }
    }
}

TEST_F(WindowTest, HiddenPagesHaveNoTab) {
    auto* pages = desktop.window.Pages();
    ASSERT_EQ(pages->count(), 9);
    for (int i = 0; i < pages->count(); ++i) {
        EXPECT_EQ(pages->isTabVisible(i), i < 5) << pages->tabText(i).toStdString();
    }
    EXPECT_EQ(pages->tabText(3), "S.M.A.R.T info");
    EXPECT_EQ(pages->tabText(7), "Uart Log of F/W");
    EXPECT_EQ(desktop.ui.ActivePage(), "TabSheet1");
}

TEST_F(WindowTest, FixedWindowWithTitleAndPlacedControls) {
    EXPECT_EQ(desktop.window.size(), QSize(1194, 723));
    EXPECT_EQ(desktop.window.minimumSize(), desktop.window.maximumSize());
    const auto flags = desktop.window.windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(desktop.window.windowTitle(),
              "Vantrel K34/K35/K39/K36/K38/K38H/K12/K13 Utility A.1.48");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), desktop.window.windowTitle());
    EXPECT_EQ(desktop.window.Control("ScanBn")->geometry(), QRect(24, 16, 75, 25));
    EXPECT_EQ(desktop.window.Control("PageControl1")->geometry(), QRect(24, 199, 1145, 513));
    EXPECT_EQ(desktop.window.Control("SpecialTipShape")->geometry(), QRect(2, 347, 23, 22));
    EXPECT_EQ(desktop.window.Control("Label4")->font().pointSize(), 18);
    EXPECT_EQ(desktop.splash.windowTitle(), "Waiting............");
    EXPECT_EQ(desktop.splash.size(), QSize(250, 59));
    EXPECT_FALSE(desktop.splash.windowFlags().testFlag(Qt::WindowCloseButtonHint));
}

TEST_F(WindowTest, DeviceListIsAReportWithSixColumnsAndWholeRowSelection) {
    auto* list = qobject_cast<QTableWidget*>(desktop.window.Control("ListView1"));
    ASSERT_EQ(list->columnCount(), 6);
    const int widths[] = {43, 270, 160, 90, 105, 100};
    const char* captions[] = {"Disk",    "Model",        "Serial No.",
                              "FW Rev.", "Capacity(GB)", "Interface"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(list->columnWidth(i), widths[i]);
        EXPECT_EQ(list->horizontalHeaderItem(i)->text(), captions[i]);
    }
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(list->showGrid());
    const auto palette = list->palette();
    EXPECT_EQ(palette.color(QPalette::Inactive, QPalette::Highlight),
              palette.color(QPalette::Active, QPalette::Highlight));
}

TEST_F(WindowTest, SchematicShowsTheTopLeftOfItsPicture) {
    auto* image = qobject_cast<QLabel*>(desktop.window.Control("Image1"));
    EXPECT_EQ(image->size(), QSize(337, 289));
    EXPECT_EQ(image->pixmap().size(), QSize(625, 345));
    const QImage picture = image->pixmap().toImage();
    // Something is drawn in the part the page shows.
    bool ink = false;
    for (int y = 0; y < 289 && !ink; ++y) {
        for (int x = 0; x < 337 && !ink; ++x) ink = picture.pixelColor(x, y) != Qt::white;
    }
    EXPECT_TRUE(ink);
}

TEST_F(WindowTest, TextsKeepTheirBytesWhileTheWidgetsShowThemOnOneLine) {
    auto& ui = desktop.ui;
    ui.SetText("CapacityEdit", "Capacity : 59.6 GBytes     ECC mode : 24 bit\r\n");
    EXPECT_EQ(ui.Text("CapacityEdit"), "Capacity : 59.6 GBytes     ECC mode : 24 bit\r\n");
    auto* edit = qobject_cast<QLineEdit*>(desktop.window.Control("CapacityEdit"));
    EXPECT_FALSE(edit->text().contains('\n'));
    ui.SetText("FwEdit", std::string("\xB5\xFF", 2));
    EXPECT_EQ(ui.Text("FwEdit"), std::string("\xB5\xFF", 2));

    ui.AppendLine("EraseMemo", "first");
    ui.AppendLine("EraseMemo", "a\r\nb");
    ui.AppendLine("EraseMemo", "lone\rCR");
    EXPECT_EQ(ui.Lines("EraseMemo"), (std::vector<std::string>{"first", "a", "b", "lone\rCR"}));
    ui.ClearLines("EraseMemo");
    EXPECT_TRUE(ui.Lines("EraseMemo").empty());
    EXPECT_TRUE(qobject_cast<QPlainTextEdit*>(desktop.window.Control("EraseMemo"))
                    ->toPlainText()
                    .isEmpty());

    ui.SetCaption("GroupBox4", "\nSMART (v1.2) information report :\n");
    EXPECT_EQ(ui.Caption("GroupBox4"), "\nSMART (v1.2) information report :\n");
    EXPECT_EQ(qobject_cast<QGroupBox*>(desktop.window.Control("GroupBox4"))->title(),
              "SMART (v1.2) information report :");

    ui.SetCell("StringGrid1", 0, 1, "S.M.A.R.T. Attribute");
    EXPECT_EQ(ui.Cell("StringGrid1", 0, 1), "S.M.A.R.T. Attribute");
    ui.SetCell("StringGrid1", 40, 0, "outside");
    EXPECT_EQ(ui.RowCount("StringGrid1"), 30);
    EXPECT_THROW(ui.SetText("NoSuchEdit", ""), std::invalid_argument);
    EXPECT_THROW(ui.Lines("ScanBn"), std::invalid_argument);
}

TEST_F(WindowTest, WhatTheUserTypesIsWhatTheFormReads) {
    desktop.window.show();
    desktop.ui.SetActivePage("TabSheet1");
    auto* memo = qobject_cast<QPlainTextEdit*>(desktop.window.Control("SSDInfoMemo"));
    desktop.ui.SetLines("SSDInfoMemo", {"one"});
    memo->moveCursor(QTextCursor::End);
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, "two");
    EXPECT_EQ(desktop.ui.Lines("SSDInfoMemo"), (std::vector<std::string>{"one", "two"}));
    auto* edit = qobject_cast<QLineEdit*>(desktop.window.Control("DbgPageLEdit"));
    edit->clear();
    QTest::keyClicks(edit, "7");
    EXPECT_EQ(desktop.ui.Text("DbgPageLEdit"), "7");
}

}  // namespace
}  // namespace vt::app
