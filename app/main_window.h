#pragma once
// The desktop main window, built from the control table: every control is a widget whose object
// name is the control's name, placed where the table puts it.

#include <QMainWindow>
#include <QTabWidget>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "views/controls.h"
#include "views/main_form.h"

class QPixmap;

namespace vt::app {

// The invisible shape of the SSD Info page; reports every mouse press with its button and whether
// Ctrl was down when the press happened.
class ShapeWidget final : public QWidget {
  public:
    using PressHandler = std::function<void(MouseButton, bool ctrl_held)>;
    explicit ShapeWidget(QWidget* parent) : QWidget(parent) {}
    void SetPressHandler(PressHandler handler) { on_press_ = std::move(handler); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    PressHandler on_press_;
};

class MainWindow final : public QMainWindow {
  public:
    MainWindow();

    // The widget of a control; nullptr for a name the window does not have.
    QWidget* Control(std::string_view name) const;
    const ControlSpec& Spec(std::string_view name) const;
    QTabWidget* Pages() const { return pages_; }
    // The tab index of a page, -1 for another name.
    int PageIndex(std::string_view page) const;
    // The caption label of a labelled edit.
    QWidget* CaptionLabel(std::string_view name) const;

    void CentreOnScreen();

  private:
    QWidget* Build(const ControlSpec& spec, QWidget* parent);

    QTabWidget* pages_ = nullptr;
    std::map<std::string, QWidget*, std::less<>> widgets_;
    std::map<std::string, QWidget*, std::less<>> caption_labels_;
};

// The fixed picture behind Image1: a sample erase count table with notes on how to read it.
QPixmap DrawEraseCountSchematic();

}  // namespace vt::app
