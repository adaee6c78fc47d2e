#pragma once
// The main window on the Windows common controls, built from the control table: each control is
// the common control of its kind, placed where the table puts it (pixels at 96 dots per inch,
// scaled to the window's DPI). Pages and group boxes are panes of their own, so hiding one hides
// what it holds and every control keeps its own visible flag, as in the Qt window.

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "views/controls.h"
#include "views/main_form.h"

namespace vt::win {

// 8-bit window texts on the wide-character calls: each byte is the character of the same number.
std::wstring Wide(std::string_view latin1);
// Back again; a character past U+00FF (typed by the user) becomes '?'.
std::string Latin1(std::wstring_view wide);
// A control's text as the system holds it.
std::wstring WindowText(HWND hwnd);

struct WinControl {
    const ControlSpec* spec = nullptr;
    HWND hwnd = nullptr;      // the control; for a page or a group, its pane
    HWND frame = nullptr;     // a group's frame and caption, inside its pane
    HWND label = nullptr;     // a labelled edit's caption, beside it in its parent
    HFONT font = nullptr;     // its own font (a memo's face, a larger label, a narrowed fit)
    int width_percent = 100;  // how far its font is narrowed to fit its text
};

class MainWindow {
  public:
    // At the display's DPI, or at `dpi` when given (for tests of other scalings).
    explicit MainWindow(HINSTANCE instance, int dpi = 0);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    // The control of a name; std::invalid_argument for a name the window does not have.
    WinControl& Get(std::string_view name);
    const WinControl& Get(std::string_view name) const;

    // The tab row holds the pages whose tab is visible, in table order.
    void SetTabVisible(std::string_view page, bool visible);
    bool TabVisible(std::string_view page) const;
    void ShowPage(std::string_view page);
    // The page of the selected tab; empty when no tab is selected.
    std::string SelectedPage() const;
    // The page last shown (its tab may since have been hidden).
    const std::string& ShownPage() const { return shown_page_; }
    // Puts a page's new caption on its tab.
    void RefreshTabs() { FillTabs(); }

    // The form the controls' events go to; the window takes events only once it has one.
    void Connect(TMainForm* form) { form_ = form; }
    // Runs once the window has been shown and the message loop runs.
    void OnStarted(std::function<void()> started) { started_ = std::move(started); }
    void Show();
    // The idle work (set with OnIdle) runs once the message loop is next free.
    void OnIdle(std::function<void()> idle) { idle_ = std::move(idle); }
    void RunWhenIdle();

    int Dpi() const { return dpi_; }
    int Scale(int pixels) const { return MulDiv(pixels, dpi_, 96); }
    // A control's rectangle in its parent's client area, in pixels at 96 DPI.
    Geometry ReadGeometry(std::string_view name) const;
    // The widest line of an edit's or memo's text and the room it has, in screen pixels.
    struct Fit {
        int widest = 0;
        int room = 0;
    };
    Fit TextFit(std::string_view name) const;
    // Narrows the font of an edit or memo until its widest line fits, down to 60 % of its width;
    // a text that would need more keeps the full width and scrolls.
    void FitText(std::string_view name);
    // The same when lines have been added: measures those only, unless one does not fit.
    void FitLines(std::string_view name, const std::vector<std::wstring>& lines);

    // Writes into a control without telling the form (no select or change event).
    int quiet = 0;

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
    void Build();
    void Create(const ControlSpec& spec, int id);
    void MakeFonts();
    void Layout();
    void Place(const WinControl& control);
    void ApplyFont(WinControl& control);
    void FillTabs();
    void OnCommand(int id, int code);
    LRESULT OnNotify(const NMHDR& header);
    WinControl* ById(int id);

    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    HWND tabs_ = nullptr;
    int dpi_ = 96;
    HFONT window_font_ = nullptr;
    HFONT bold_font_ = nullptr;  // the diagnose list's highlighted cells
    HBRUSH page_brush_ = nullptr;
    std::vector<WinControl> controls_;  // table order; index + kFirstId is the control id
    std::map<std::string, std::size_t, std::less<>> index_;
    std::vector<std::string> tab_pages_;  // the pages now on the tab row
    std::map<std::string, bool, std::less<>> tab_visible_;
    std::string shown_page_;
    TMainForm* form_ = nullptr;
    std::function<void()> started_;
    std::function<void()> idle_;
};

// The waiting window: a small captioned window, shown without taking the focus.
class SplashWindow {
  public:
    explicit SplashWindow(HINSTANCE instance);
    ~SplashWindow();
    SplashWindow(const SplashWindow&) = delete;
    SplashWindow& operator=(const SplashWindow&) = delete;
    void Show();
    void Hide();
    HWND hwnd() const { return hwnd_; }

  private:
    HWND hwnd_ = nullptr;
};

// The picture behind Image1 at a DPI: a bitmap the caller owns.
HBITMAP DrawEraseCountSchematic(int dpi);

}  // namespace vt::win
