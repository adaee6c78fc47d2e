#include "app/qt_presentation.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTimer>
#include <stdexcept>

#include "views/headless_presentation.h"

namespace vt::app {
namespace {

using K = ControlKind;

QString Latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Bytes(const QString& text) {
    return text.toLatin1().toStdString();
}

// A single-line control cannot show a line break; the text keeps it.
QString OneLine(const std::string& text) {
    QString shown = Latin1(text);
    shown.remove(QLatin1Char('\r'));
    shown.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return shown;
}

QString ShownCaption(const std::string& text) {
    return OneLine(text).trimmed();
}

// A box the user must answer shows the ordinary pointer, even in the middle of a drive command.
class ArrowWhileAsking {
  public:
    ArrowWhileAsking() : busy_(QApplication::overrideCursor() != nullptr) {
        if (busy_) QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~ArrowWhileAsking() {
        if (busy_) QApplication::restoreOverrideCursor();
    }
    ArrowWhileAsking(const ArrowWhileAsking&) = delete;
    ArrowWhileAsking& operator=(const ArrowWhileAsking&) = delete;

  private:
    bool busy_;
};

std::optional<std::string> RunFileDialog(QWidget* parent, const FileDialogRequest& request,
                                         QFileDialog::AcceptMode mode) {
    const ArrowWhileAsking arrow;
    QFileDialog dialog(parent);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
    dialog.setDirectory(QFile::decodeName(request.initial_dir.c_str()));
    dialog.setNameFilter(Latin1(request.filter));
    dialog.setDefaultSuffix(Latin1(request.default_ext));
    if (!request.file_name.empty()) dialog.selectFile(Latin1(request.file_name));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QFile::encodeName(dialog.selectedFiles().front()).toStdString();
}

}  // namespace

QtPresentation::QtPresentation(MainWindow& window, TSplashForm& splash)
    : window_(window), splash_(splash) {
    for (const auto& spec : MainFormControls()) {
        const std::string name(spec.name);
        captions_[name] = std::string(spec.caption);
        auto* widget = window_.Control(spec.name);
        if (spec.kind == K::Edit || spec.kind == K::LabeledEdit) {
            texts_[name] = std::string(spec.text);
            auto* edit = static_cast<QLineEdit*>(widget);
            QObject::connect(edit, &QLineEdit::textEdited, edit,
                             [this, name] { TakeUserText(name); });
        } else if (spec.kind == K::Memo) {
            lines_[name] = {};
            auto* memo = static_cast<QPlainTextEdit*>(widget);
            QObject::connect(memo, &QPlainTextEdit::textChanged, memo, [this, name] {
                if (!setting_) TakeUserText(name);
            });
        }
    }
}

template <class W>
W* QtPresentation::Widget(std::string_view name, std::initializer_list<ControlKind> kinds) const {
    const auto& spec = window_.Spec(name);
    if (kinds.size() != 0) {
        bool fits = false;
        for (const auto kind : kinds) fits = fits || spec.kind == kind;
        if (!fits) throw std::invalid_argument(std::string(name) + " is no control of that kind");
    }
    auto* widget = qobject_cast<W*>(window_.Control(name));
    if (!widget) throw std::invalid_argument(std::string(name) + " has no widget of that kind");
    return widget;
}

void QtPresentation::TakeUserText(const std::string& name) {
    auto* widget = window_.Control(name);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        texts_[name] = Bytes(edit->text());
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(widget)) {
        std::vector<std::string> lines;
        const QString text = memo->toPlainText();
        if (!text.isEmpty()) {
            for (const auto& line : text.split(QLatin1Char('\n'))) lines.push_back(Bytes(line));
        }
        lines_[name] = std::move(lines);
    }
}

void QtPresentation::SetTitle(const std::string& title) {
    title_ = title;
    window_.setWindowTitle(Latin1(title));
    QGuiApplication::setApplicationDisplayName(Latin1(title));
}

std::string QtPresentation::Text(std::string_view name) const {
    const auto& spec = window_.Spec(name);
    if (spec.kind == K::Combo) return Bytes(Widget<QComboBox>(name, {K::Combo})->currentText());
    Widget<QLineEdit>(name, {K::Edit, K::LabeledEdit});
    return texts_.find(name)->second;
}

void QtPresentation::SetText(std::string_view name, const std::string& text) {
    auto* edit = Widget<QLineEdit>(name, {K::Edit, K::LabeledEdit});
    texts_.find(name)->second = text;
    edit->setText(OneLine(text));
    edit->setCursorPosition(0);
}

std::vector<std::string> QtPresentation::Lines(std::string_view name) const {
    if (window_.Spec(name).kind == K::Combo) {
        auto* combo = Widget<QComboBox>(name, {K::Combo});
        std::vector<std::string> lines;
        for (int i = 0; i < combo->count(); ++i) lines.push_back(Bytes(combo->itemText(i)));
        return lines;
    }
    Widget<QPlainTextEdit>(name, {K::Memo});
    return lines_.find(name)->second;
}

void QtPresentation::SetLines(std::string_view name, const std::vector<std::string>& lines) {
    if (window_.Spec(name).kind == K::Combo) {
        auto* combo = Widget<QComboBox>(name, {K::Combo});
        const QSignalBlocker quiet(combo);
        combo->clear();
        for (const auto& line : lines) combo->addItem(Latin1(line));
        combo->setCurrentIndex(-1);
        return;
    }
    auto* memo = Widget<QPlainTextEdit>(name, {K::Memo});
    auto& stored = lines_.find(name)->second;
    stored.clear();
    for (const auto& line : lines) {
        for (auto& part : SplitAtCrLf(line)) stored.push_back(std::move(part));
    }
    QStringList shown;
    for (const auto& line : stored) shown << Latin1(line);
    setting_ = true;
    memo->setPlainText(shown.join(QLatin1Char('\n')));
    setting_ = false;
}

void QtPresentation::AppendLine(std::string_view name, const std::string& line) {
    if (window_.Spec(name).kind == K::Combo) {
        auto* combo = Widget<QComboBox>(name, {K::Combo});
        const QSignalBlocker quiet(combo);
        combo->addItem(Latin1(line));
        return;
    }
    auto* memo = Widget<QPlainTextEdit>(name, {K::Memo});
    auto& stored = lines_.find(name)->second;
    setting_ = true;
    for (auto& part : SplitAtCrLf(line)) {
        // An empty memo shows one empty paragraph; the first line goes into it.
        if (stored.empty()) {
            memo->setPlainText(Latin1(part));
        } else {
            memo->appendPlainText(Latin1(part));
        }
        stored.push_back(std::move(part));
    }
    setting_ = false;
}

void QtPresentation::ClearLines(std::string_view name) {
    SetLines(name, {});
}

std::string QtPresentation::Cell(std::string_view name, int row, int column) const {
    auto* grid = Widget<QTableWidget>(name, {K::Grid});
    const auto* item = grid->item(row, column);
    return item ? Bytes(item->text()) : std::string();
}

void QtPresentation::SetCell(std::string_view name, int row, int column, const std::string& text) {
    auto* grid = Widget<QTableWidget>(name, {K::Grid});
    if (row < 0 || column < 0 || row >= grid->rowCount() || column >= grid->columnCount()) return;
    auto* item = grid->item(row, column);
    if (!item) {
        item = new QTableWidgetItem();
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        grid->setItem(row, column, item);
    }
    item->setText(Latin1(text));
}

int QtPresentation::RowCount(std::string_view name) const {
    return Widget<QTableWidget>(name, {K::Grid, K::List})->rowCount();
}

int QtPresentation::ColCount(std::string_view name) const {
    return Widget<QTableWidget>(name, {K::Grid, K::List})->columnCount();
}

void QtPresentation::SetRows(std::string_view name, const std::vector<TextRow>& rows) {
    auto* list = Widget<QTableWidget>(name, {K::List});
    const QSignalBlocker quiet(list->selectionModel());
    list->clearSelection();
    list->setRowCount(0);
    list->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const auto& row = rows[static_cast<std::size_t>(r)];
        for (int c = 0; c < list->columnCount() && c < static_cast<int>(row.size()); ++c) {
            auto* item = new QTableWidgetItem(OneLine(row[static_cast<std::size_t>(c)]));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            list->setItem(r, c, item);
        }
    }
}

std::vector<TextRow> QtPresentation::Rows(std::string_view name) const {
    auto* list = Widget<QTableWidget>(name, {K::List});
    std::vector<TextRow> rows;
    for (int r = 0; r < list->rowCount(); ++r) {
        TextRow row;
        for (int c = 0; c < list->columnCount(); ++c) {
            const auto* item = list->item(r, c);
            row.push_back(item ? Bytes(item->text()) : std::string());
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::optional<int> QtPresentation::SelectedRow(std::string_view name) const {
    auto* list = Widget<QTableWidget>(name, {K::List});
    const auto selected = list->selectionModel()->selectedRows();
    if (selected.isEmpty()) return std::nullopt;
    return selected.front().row();
}

void QtPresentation::SelectRow(std::string_view name, std::optional<int> row) {
    auto* list = Widget<QTableWidget>(name, {K::List});
    const QSignalBlocker quiet(list->selectionModel());
    list->clearSelection();
    if (row && *row >= 0 && *row < list->rowCount()) list->selectRow(*row);
}

int QtPresentation::ItemIndex(std::string_view name) const {
    return Widget<QComboBox>(name, {K::Combo})->currentIndex();
}

void QtPresentation::SetItemIndex(std::string_view name, int index) {
    auto* combo = Widget<QComboBox>(name, {K::Combo});
    const QSignalBlocker quiet(combo);
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

std::string QtPresentation::Caption(std::string_view name) const {
    Widget<QWidget>(name, {K::Button, K::Group, K::Label, K::Check, K::LabeledEdit, K::Page});
    return captions_.find(name)->second;
}

void QtPresentation::SetCaption(std::string_view name, const std::string& caption) {
    const auto kind = window_.Spec(name).kind;
    auto* widget =
        Widget<QWidget>(name, {K::Button, K::Group, K::Label, K::Check, K::LabeledEdit, K::Page});
    captions_.find(name)->second = caption;
    const QString shown = ShownCaption(caption);
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) button->setText(shown);
    if (auto* group = qobject_cast<QGroupBox*>(widget)) group->setTitle(shown);
    if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(shown);
    if (kind == K::LabeledEdit) {
        if (auto* label = qobject_cast<QLabel*>(window_.CaptionLabel(name))) label->setText(shown);
    }
    if (kind == K::Page) window_.Pages()->setTabText(window_.PageIndex(name), shown);
}

bool QtPresentation::Visible(std::string_view name) const {
    if (window_.Spec(name).kind == K::Page) return TabVisible(name);
    return !Widget<QWidget>(name, {})->isHidden();
}

void QtPresentation::SetVisible(std::string_view name, bool visible) {
    if (window_.Spec(name).kind == K::Page) return SetTabVisible(name, visible);
    Widget<QWidget>(name, {})->setVisible(visible);
    if (auto* label = window_.CaptionLabel(name)) label->setVisible(visible);
}

bool QtPresentation::Enabled(std::string_view name) const {
    return !Widget<QWidget>(name, {})->testAttribute(Qt::WA_Disabled);
}

void QtPresentation::SetEnabled(std::string_view name, bool enabled) {
    Widget<QWidget>(name, {})->setEnabled(enabled);
}

bool QtPresentation::Checked(std::string_view name) const {
    return Widget<QCheckBox>(name, {K::Check})->isChecked();
}

void QtPresentation::SetChecked(std::string_view name, bool checked) {
    auto* check = Widget<QCheckBox>(name, {K::Check});
    const QSignalBlocker quiet(check);
    check->setChecked(checked);
}

void QtPresentation::SetTabVisible(std::string_view page, bool visible) {
    Widget<QWidget>(page, {K::Page});
    window_.Pages()->setTabVisible(window_.PageIndex(page), visible);
}

bool QtPresentation::TabVisible(std::string_view page) const {
    Widget<QWidget>(page, {K::Page});
    return window_.Pages()->isTabVisible(window_.PageIndex(page));
}

void QtPresentation::SetActivePage(std::string_view page) {
    window_.Pages()->setCurrentWidget(Widget<QWidget>(page, {K::Page}));
}

std::string QtPresentation::ActivePage() const {
    const auto* page = window_.Pages()->currentWidget();
    return page ? Bytes(page->objectName()) : std::string();
}

void QtPresentation::ShowMessage(const std::string& text) {
    if (hooks_.message) return hooks_.message(text);
    const ArrowWhileAsking arrow;
    QMessageBox::information(&window_, Latin1(title_), Latin1(text));
}

void QtPresentation::ShowError(const std::string& text) {
    if (hooks_.error) return hooks_.error(text);
    const ArrowWhileAsking arrow;
    QMessageBox::critical(&window_, Latin1(title_), Latin1(text));
}

std::optional<std::string> QtPresentation::AskSaveFile(const FileDialogRequest& request) {
    if (hooks_.save_file) return hooks_.save_file(request);
    return RunFileDialog(&window_, request, QFileDialog::AcceptSave);
}

std::optional<std::string> QtPresentation::AskOpenFile(const FileDialogRequest& request) {
    if (hooks_.open_file) return hooks_.open_file(request);
    return RunFileDialog(&window_, request, QFileDialog::AcceptOpen);
}

void QtPresentation::ShowWaiting() {
    splash_.CentreOnScreen();
    splash_.show();
    splash_.raise();
    ProcessPaintEvents();
}

void QtPresentation::CloseWaiting() {
    splash_.hide();
}

void QtPresentation::ProcessPaintEvents() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtPresentation::RequestClose() {
    // Later, so the handler that asked finishes before the window goes.
    QTimer::singleShot(0, &window_, [this] { window_.close(); });
}

}  // namespace vt::app
