#include "app/main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <stdexcept>

namespace vt::app {
namespace {

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

void Place(QWidget* widget, const Geometry& g) {
    widget->setGeometry(g.left, g.top, g.width, g.height);
}

// A report list keeps showing its selection when another control has the focus.
void KeepSelectionVisible(QWidget* widget) {
    auto palette = widget->palette();
    for (const auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    }
    widget->setPalette(palette);
}

QTableWidget* MakeList(const ControlSpec& spec, QWidget* parent) {
    auto* list = new QTableWidget(0, static_cast<int>(spec.columns.size()), parent);
    QStringList headers;
    for (const auto& column : spec.columns) headers << Latin1(column.caption);
    list->setHorizontalHeaderLabels(headers);
    for (int i = 0; i < static_cast<int>(spec.columns.size()); ++i) {
        list->setColumnWidth(i, spec.columns[static_cast<std::size_t>(i)].width);
    }
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->horizontalHeader()->setHighlightSections(false);
    list->verticalHeader()->setVisible(false);
    list->verticalHeader()->setDefaultSectionSize(18);
    list->setShowGrid(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setWordWrap(false);
    KeepSelectionVisible(list);
    return list;
}

QTableWidget* MakeGrid(const ControlSpec& spec, QWidget* parent) {
    const int columns = static_cast<int>(spec.columns.size());
    auto* grid = new QTableWidget(spec.grid_rows, columns, parent);
    grid->horizontalHeader()->setVisible(false);
    grid->verticalHeader()->setVisible(false);
    grid->verticalHeader()->setDefaultSectionSize(20);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setWordWrap(false);
    const QBrush fixed = grid->palette().button();
    for (int column = 0; column < columns; ++column) {
        grid->setColumnWidth(column, spec.columns[static_cast<std::size_t>(column)].width);
    }
    // The first row and column are the fixed ones, shaded like buttons.
    for (int row = 0; row < spec.grid_rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            auto* item = new QTableWidgetItem();
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            if (row == 0 || column == 0) item->setBackground(fixed);
            grid->setItem(row, column, item);
        }
    }
    return grid;
}

QPlainTextEdit* MakeMemo(const ControlSpec& spec, QWidget* parent) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setReadOnly(spec.read_only);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Tab stops every eight average characters, as the memos the reports were laid out for.
    memo->setTabStopDistance(QFontMetricsF(memo->font()).averageCharWidth() * 8);
    return memo;
}

// A font by its fontconfig family; every glyph from that one face, so its metrics are the ones
// the layout was checked with.
QFont NamedFont(std::string_view family, int points) {
    QFont font(Latin1(family));
    font.setPointSize(points);
    font.setStyleStrategy(QFont::NoFontMerging);
    return font;
}

}  // namespace

void ShapeWidget::paintEvent(QPaintEvent*) {
    // Outline and fill in the page's own colour: there, but not to be seen.
    QPainter painter(this);
    const QColor page = palette().color(QPalette::Window);
    painter.setPen(page);
    painter.setBrush(page);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ShapeWidget::mousePressEvent(QMouseEvent* event) {
    MouseButton button = MouseButton::Left;
    if (event->button() == Qt::RightButton) button = MouseButton::Right;
    if (event->button() == Qt::MiddleButton) button = MouseButton::Middle;
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    if (on_press_) on_press_(button, ctrl);
}

MainWindow::MainWindow() {
    setObjectName(QStringLiteral("MainForm"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(NamedFont(kWindowFontFamily, kWindowFontPoints));
    auto* client = new QWidget(this);
    setCentralWidget(client);
    setFixedSize(kFormClientWidth, kFormClientHeight);

    for (const auto& spec : MainFormControls()) {
        QWidget* parent = client;
        if (!spec.parent.empty()) parent = Control(spec.parent);
        if (spec.kind == ControlKind::Page) {
            auto* page = new QWidget();
            page->setObjectName(Latin1(spec.name));
            page->setAutoFillBackground(true);
            const int index = pages_->addTab(page, Latin1(spec.caption));
            pages_->setTabVisible(index, spec.visible);
            widgets_.emplace(std::string(spec.name), page);
            continue;
        }
        auto* widget = Build(spec, parent);
        widget->setObjectName(Latin1(spec.name));
        Place(widget, spec.geometry);
        widget->setVisible(spec.visible);
        widget->setEnabled(spec.enabled);
        if (!spec.font_family.empty() || spec.font_points > 0) {
            QFont own = widget->font();
            if (!spec.font_family.empty()) own = NamedFont(spec.font_family, kWindowFontPoints);
            if (spec.font_points > 0) own.setPointSize(spec.font_points);
            widget->setFont(own);
            if (auto* memo = qobject_cast<QPlainTextEdit*>(widget))
                memo->setTabStopDistance(QFontMetricsF(own).averageCharWidth() * 8);
        }
        widgets_.emplace(std::string(spec.name), widget);
    }
    pages_->setCurrentIndex(0);
}

QWidget* MainWindow::Build(const ControlSpec& spec, QWidget* parent) {
    const QString caption = Latin1(spec.caption);
    switch (spec.kind) {
        case ControlKind::Edit:
        case ControlKind::LabeledEdit: {
            auto* edit = new QLineEdit(Latin1(spec.text), parent);
            edit->setReadOnly(spec.read_only);
            if (spec.kind == ControlKind::LabeledEdit) {
                auto* label = new QLabel(caption, parent);
                label->setObjectName(Latin1(spec.name) + QStringLiteral("Label"));
                label->setGeometry(spec.geometry.left, spec.geometry.top - 16,
                                   spec.geometry.width + 40, 15);
                label->setVisible(spec.visible);
                caption_labels_.emplace(std::string(spec.name), label);
            }
            return edit;
        }
        case ControlKind::Memo:
            return MakeMemo(spec, parent);
        case ControlKind::Grid:
            return MakeGrid(spec, parent);
        case ControlKind::List:
            return MakeList(spec, parent);
        case ControlKind::Combo: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(false);
            return combo;
        }
        case ControlKind::Button:
            return new QPushButton(caption, parent);
        case ControlKind::Group:
            return new QGroupBox(caption, parent);
        case ControlKind::Label:
            return new QLabel(caption, parent);
        case ControlKind::Check:
            return new QCheckBox(caption, parent);
        case ControlKind::Image: {
            auto* image = new QLabel(parent);
            // Only the top-left part of the picture fits the control.
            image->setPixmap(DrawEraseCountSchematic());
            image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return image;
        }
        case ControlKind::Shape:
            return new ShapeWidget(parent);
        case ControlKind::PageControl:
            pages_ = new QTabWidget(parent);
            pages_->setUsesScrollButtons(true);
            return pages_;
        case ControlKind::Page:
            break;
    }
    throw std::logic_error("no widget for " + std::string(spec.name));
}

QWidget* MainWindow::Control(std::string_view name) const {
    const auto found = widgets_.find(name);
    return found == widgets_.end() ? nullptr : found->second;
}

const ControlSpec& MainWindow::Spec(std::string_view name) const {
    const auto* spec = FindControl(name);
    if (!spec) throw std::invalid_argument("The window has no control named " + std::string(name));
    return *spec;
}

int MainWindow::PageIndex(std::string_view page) const {
    const auto* widget = Control(page);
    return widget ? pages_->indexOf(widget) : -1;
}

QWidget* MainWindow::CaptionLabel(std::string_view name) const {
    const auto found = caption_labels_.find(name);
    return found == caption_labels_.end() ? nullptr : found->second;
}

void MainWindow::CentreOnScreen() {
    const auto* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    move(available.center() - QPoint(width() / 2, height() / 2));
}

}  // namespace vt::app
