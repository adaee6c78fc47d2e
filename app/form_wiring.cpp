#include "app/form_wiring.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <set>

namespace vt::app {
namespace {

// Drive commands block the window; the pointer says so while a handler runs.
class BusyPointer {
  public:
    BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

std::set<int> RowsOf(const QItemSelection& selection) {
    std::set<int> rows;
    for (const auto& index : selection.indexes()) rows.insert(index.row());
    return rows;
}

// The diagnose list's cells take the font the form chooses for them before they are drawn.
class DiagnoseCellDelegate final : public QStyledItemDelegate {
  public:
    DiagnoseCellDelegate(TMainForm& form, QObject* parent)
        : QStyledItemDelegate(parent), form_(form) {}

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const auto rows = form_.ui().Rows("ListViewRMA");
        if (index.row() < 0 || static_cast<std::size_t>(index.row()) >= rows.size()) return;
        const auto font = form_.ListViewRMACustomDrawSubItem(
            rows[static_cast<std::size_t>(index.row())], index.column());
        if (!font) return;
        const QColor colour = font->colour == CellColour::Red    ? QColor(Qt::red)
                              : font->colour == CellColour::Blue ? QColor(Qt::blue)
                                                                 : QColor(Qt::black);
        option->palette.setColor(QPalette::Text, colour);
        if (font->bold_only) {
            QFont bold = option->font;
            bold.setBold(true);
            bold.setItalic(false);
            bold.setUnderline(false);
            bold.setStrikeOut(false);
            option->font = bold;
        }
    }

  private:
    TMainForm& form_;
};

}  // namespace

void ConnectEvents(MainWindow& window, TMainForm& form) {
    for (const auto& spec : MainFormControls()) {
        const std::string name(spec.name);
        QWidget* widget = window.Control(spec.name);
        switch (spec.kind) {
            case ControlKind::Button:
                QObject::connect(static_cast<QPushButton*>(widget), &QPushButton::clicked, widget,
                                 [&form, name] {
                                     const BusyPointer busy;
                                     form.Click(name);
                                 });
                break;
            case ControlKind::Check:
                QObject::connect(static_cast<QCheckBox*>(widget), &QCheckBox::clicked, widget,
                                 [&form, name](bool checked) { form.CheckChanged(name, checked); });
                break;
            case ControlKind::Edit:
            case ControlKind::LabeledEdit:
                QObject::connect(static_cast<QLineEdit*>(widget), &QLineEdit::returnPressed, widget,
                                 [&form, name] {
                                     const BusyPointer busy;
                                     form.EnterKey(name);
                                 });
                break;
            default:
                break;
        }
    }

    auto* list = static_cast<QTableWidget*>(window.Control("ListView1"));
    QObject::connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, list,
                     [&form](const QItemSelection& selected, const QItemSelection& deselected) {
                         const BusyPointer busy;
                         // The old row lets go before the new one is read.
                         RunGuarded(form.ui(), [&] {
                             for (const int row : RowsOf(deselected)) {
                                 form.ListView1SelectItem(row, false);
                             }
                             for (const int row : RowsOf(selected)) {
                                 form.ListView1SelectItem(row, true);
                             }
                         });
                     });

    auto* diagnose = static_cast<QTableWidget*>(window.Control("ListViewRMA"));
    diagnose->setItemDelegate(new DiagnoseCellDelegate(form, diagnose));

    auto* combo = static_cast<QComboBox*>(window.Control("DeviceList"));
    QObject::connect(combo, &QComboBox::activated, combo,
                     [&form] { RunGuarded(form.ui(), [&] { form.DeviceListChange(); }); });

    auto* shape = static_cast<ShapeWidget*>(window.Control("SpecialTipShape"));
    shape->SetPressHandler([&form](MouseButton button, bool ctrl_held) {
        RunGuarded(form.ui(), [&] { form.SpecialTipShapeMouseDown(button, ctrl_held); });
    });
}

}  // namespace vt::app
