#include "winapp/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace vt::win {
namespace {

using K = ControlKind;

constexpr int kFirstId = 1000;
constexpr UINT kEnterMessage = WM_APP + 1;  // wparam: the edit's id
constexpr UINT kShapeMessage = WM_APP + 2;  // wparam: the button; lparam: Ctrl held
constexpr UINT kStartMessage = WM_APP + 3;
constexpr UINT kIdleMessage = WM_APP + 4;
constexpr wchar_t kMainClass[] = L"VTUtilityMainForm";
constexpr wchar_t kPaneClass[] = L"VTUtilityPane";
constexpr wchar_t kShapeClass[] = L"VTUtilityShape";
constexpr wchar_t kImageClass[] = L"VTUtilityImage";
constexpr wchar_t kSplashClass[] = L"VTUtilitySplash";
constexpr int kMinWidthPercent = 60;
// A memo of at most this many lines is measured where the memo itself puts each line's end.
constexpr std::size_t kShortReportLines = 200;

// The top-level window a control's events go to.
HWND Root(HWND hwnd) {
    return GetAncestor(hwnd, GA_ROOT);
}

// Pages and groups pass their controls' notifications on to the main window.
LRESULT CALLBACK PaneProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORLISTBOX:
        case WM_DRAWITEM:
            return SendMessageW(Root(hwnd), message, wparam, lparam);
        default:
            return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

// The invisible shape of the SSD Info page: painted in the page's colour, and every mouse press
// reported with its button and whether Ctrl was down.
LRESULT CALLBACK ShapeProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    int button = -1;
    if (message == WM_LBUTTONDOWN) button = static_cast<int>(MouseButton::Left);
    if (message == WM_RBUTTONDOWN) button = static_cast<int>(MouseButton::Right);
    if (message == WM_MBUTTONDOWN) button = static_cast<int>(MouseButton::Middle);
    if (button >= 0) {
        SendMessageW(Root(hwnd), kShapeMessage, static_cast<WPARAM>(button),
                     (wparam & MK_CONTROL) != 0 ? 1 : 0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

// Shows the top-left part of its bitmap (GWLP_USERDATA, owned by the window).
LRESULT CALLBACK ImageProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        auto* bitmap = reinterpret_cast<HBITMAP>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        RECT client;
        GetClientRect(hwnd, &client);
        if (bitmap) {
            HDC source = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(source, bitmap);
            BitBlt(dc, 0, 0, client.right, client.bottom, source, 0, 0, SRCCOPY);
            SelectObject(source, old);
            DeleteDC(source);
        }
        EndPaint(hwnd, &paint);
        return 0;
    }
    if (message == WM_DESTROY) {
        DeleteObject(reinterpret_cast<HBITMAP>(SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0)));
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

// Enter in an edit box is the form's key event, not the dialog's default button.
LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                          DWORD_PTR) {
    const bool single_line = (GetWindowLongPtrW(hwnd, GWL_STYLE) & ES_MULTILINE) == 0;
    if (single_line) {
        if (message == WM_GETDLGCODE && wparam == VK_RETURN) {
            return DefSubclassProc(hwnd, message, wparam, lparam) | DLGC_WANTALLKEYS;
        }
        if (message == WM_KEYDOWN && wparam == VK_RETURN) {
            SendMessageW(Root(hwnd), kEnterMessage, static_cast<WPARAM>(GetDlgCtrlID(hwnd)), 0);
            return 0;
        }
        if (message == WM_CHAR && wparam == '\r') return 0;  // no beep
    }
    return DefSubclassProc(hwnd, message, wparam, lparam);
}

void RegisterClasses(HINSTANCE instance) {
    static bool done = false;
    if (done) return;
    done = true;
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    const std::pair<const wchar_t*, WNDPROC> classes[] = {{kPaneClass, PaneProc},
                                                          {kShapeClass, ShapeProc},
                                                          {kImageClass, ImageProc},
                                                          {kSplashClass, DefWindowProcW}};
    for (const auto& [name, proc] : classes) {
        window_class.lpszClassName = name;
        window_class.lpfnWndProc = proc;
        RegisterClassExW(&window_class);
    }
}

// The display's DPI for a window, through the per-monitor call where the system has it.
int DpiOf(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto get_dpi = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (hwnd && get_dpi) {
        if (const UINT dpi = get_dpi(hwnd); dpi > 0) return static_cast<int>(dpi);
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

// The system's dialog font: its face and size in points.
LOGFONTW DialogFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    LOGFONTW font{};
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        font = metrics.lfMessageFont;
    } else {
        wcscpy(font.lfFaceName, L"MS Shell Dlg 2");
        font.lfHeight = -11;
    }
    // Stored as points: the height is made for each window's DPI.
    const int points =
        MulDiv(font.lfHeight < 0 ? -font.lfHeight : font.lfHeight, 72, DpiOf(nullptr));
    font.lfHeight = points < 8 ? 8 : points > 9 ? 9 : points;
    font.lfWeight = FW_NORMAL;
    font.lfItalic = FALSE;
    font.lfQuality = CLEARTYPE_QUALITY;
    return font;
}

// Centred on the screen's work area, its top edge kept on the screen.
void CentreOnWorkArea(HWND hwnd, HWND after, UINT flags) {
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT frame;
    GetWindowRect(hwnd, &frame);
    const LONG width = frame.right - frame.left;
    const LONG height = frame.bottom - frame.top;
    SetWindowPos(hwnd, after, work.left + (work.right - work.left - width) / 2,
                 work.top + std::max(0L, (work.bottom - work.top - height) / 2), 0, 0,
                 SWP_NOSIZE | flags);
}

SIZE TextSize(HDC dc, const std::wstring& line) {
    const DWORD size =
        GetTabbedTextExtentW(dc, line.c_str(), static_cast<int>(line.size()), 0, nullptr);
    return {LOWORD(size), HIWORD(size)};
}

std::vector<std::wstring> SplitCrLf(const std::wstring& text) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (true) {
        const auto end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
}

}  // namespace

std::wstring Wide(std::string_view latin1) {
    std::wstring out;
    out.reserve(latin1.size());
    for (const char c : latin1) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return out;
}

std::string Latin1(std::wstring_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (const wchar_t c : wide) out.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
    return out;
}

std::wstring WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}

MainWindow::MainWindow(HINSTANCE instance, int dpi) : instance_(instance) {
    INITCOMMONCONTROLSEX common{sizeof common, ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES |
                                                   ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&common);
    RegisterClasses(instance);
    WNDCLASSEXW main_class{};
    main_class.cbSize = sizeof main_class;
    main_class.hInstance = instance;
    main_class.lpszClassName = kMainClass;
    main_class.lpfnWndProc = Proc;
    main_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    main_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    main_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    RegisterClassExW(&main_class);

    dpi_ = dpi > 0 ? dpi : DpiOf(nullptr);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT frame{0, 0, Scale(kFormClientWidth), Scale(kFormClientHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    hwnd_ = CreateWindowExW(0, kMainClass, L"", style, CW_USEDEFAULT, CW_USEDEFAULT,
                            frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                            instance, this);
    if (!hwnd_) throw std::runtime_error("cannot create the main window");
    if (dpi <= 0) dpi_ = DpiOf(hwnd_);
    MakeFonts();
    Build();
    Layout();
}

MainWindow::~MainWindow() {
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    for (auto& control : controls_) {
        if (control.font) DeleteObject(control.font);
    }
    if (window_font_) DeleteObject(window_font_);
    if (bold_font_) DeleteObject(bold_font_);
}

WinControl& MainWindow::Get(std::string_view name) {
    return const_cast<WinControl&>(std::as_const(*this).Get(name));
}

const WinControl& MainWindow::Get(std::string_view name) const {
    const auto found = index_.find(name);
    if (found == index_.end()) {
        throw std::invalid_argument("The window has no control named " + std::string(name));
    }
    return controls_[found->second];
}

WinControl* MainWindow::ById(int id) {
    const int index = id - kFirstId;
    if (index < 0 || index >= static_cast<int>(controls_.size())) return nullptr;
    return &controls_[static_cast<std::size_t>(index)];
}

void MainWindow::MakeFonts() {
    LOGFONTW font = DialogFont();
    font.lfHeight = -MulDiv(font.lfHeight, dpi_, 72);
    if (window_font_) DeleteObject(window_font_);
    if (bold_font_) DeleteObject(bold_font_);
    window_font_ = CreateFontIndirectW(&font);
    font.lfWeight = FW_BOLD;
    bold_font_ = CreateFontIndirectW(&font);
}

void MainWindow::Build() {
    controls_.reserve(MainFormControls().size());
    int id = kFirstId;
    for (const auto& spec : MainFormControls()) {
        index_.emplace(std::string(spec.name), controls_.size());
        controls_.push_back({});
        controls_.back().spec = &spec;
        Create(spec, id++);
    }
    FillTabs();
    ShowPage("TabSheet1");
}

void MainWindow::Create(const ControlSpec& spec, int id) {
    WinControl& control = controls_.back();
    HWND parent = hwnd_;
    if (!spec.parent.empty() && spec.kind != K::Page) parent = Get(spec.parent).hwnd;
    const auto make = [&](DWORD ex_style, const wchar_t* window_class, const std::wstring& text,
                          DWORD style) {
        return CreateWindowExW(ex_style, window_class, text.c_str(),
                               WS_CHILD | (spec.visible ? WS_VISIBLE : 0) | style, 0, 0, 0, 0,
                               parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_,
                               nullptr);
    };
    const std::wstring caption = Wide(spec.caption);
    const DWORD read_only = spec.read_only ? ES_READONLY : 0;
    HWND hwnd = nullptr;
    switch (spec.kind) {
        case K::Edit:
        case K::LabeledEdit:
            hwnd = make(WS_EX_CLIENTEDGE, WC_EDITW, Wide(spec.text),
                        WS_TABSTOP | ES_AUTOHSCROLL | read_only);
            SetWindowSubclass(hwnd, EditProc, 1, 0);
            if (spec.kind == K::LabeledEdit) {
                control.label = CreateWindowExW(
                    0, WC_STATICW, caption.c_str(),
                    WS_CHILD | (spec.visible ? WS_VISIBLE : 0) | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0,
                    parent, nullptr, instance_, nullptr);
            }
            break;
        case K::Memo:
            hwnd = make(WS_EX_CLIENTEDGE, WC_EDITW, L"",
                        WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                            ES_WANTRETURN | WS_VSCROLL | WS_HSCROLL | read_only);
            SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);
            break;
        case K::Grid:
        case K::List: {
            const DWORD header = spec.kind == K::Grid ? LVS_NOCOLUMNHEADER : 0;
            hwnd = make(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                        WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | header);
            DWORD extended = LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER;
            if (spec.kind == K::List) extended |= LVS_EX_FULLROWSELECT;
            ListView_SetExtendedListViewStyle(hwnd, extended);
            for (std::size_t i = 0; i < spec.columns.size(); ++i) {
                std::wstring title = Wide(spec.columns[i].caption);
                LVCOLUMNW column{};
                column.mask = LVCF_TEXT | LVCF_WIDTH;
                column.pszText = title.data();
                column.cx = spec.columns[i].width;
                SendMessageW(hwnd, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
            }
            for (int row = 0; row < spec.grid_rows; ++row) {
                LVITEMW item{};
                item.iItem = row;
                SendMessageW(hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
            }
            break;
        }
        case K::Combo:
            hwnd = make(0, WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST);
            break;
        case K::Button:
            hwnd = make(0, WC_BUTTONW, caption, WS_TABSTOP | BS_PUSHBUTTON);
            break;
        case K::Check:
            hwnd = make(0, WC_BUTTONW, caption, WS_TABSTOP | BS_AUTOCHECKBOX);
            break;
        case K::Label:
            hwnd = make(0, WC_STATICW, caption, SS_LEFT | SS_NOPREFIX);
            break;
        case K::Group:
            hwnd = make(WS_EX_CONTROLPARENT, kPaneClass, L"", WS_CLIPSIBLINGS);
            // Drawn beneath what the group holds, and clipped by it.
            control.frame = CreateWindowExW(0, WC_BUTTONW, caption.c_str(),
                                            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | BS_GROUPBOX,
                                            0, 0, 0, 0, hwnd, nullptr, instance_, nullptr);
            break;
        case K::Image:
            hwnd = make(0, kImageClass, L"", 0);
            break;
        case K::Shape:
            hwnd = make(0, kShapeClass, L"", 0);
            break;
        case K::PageControl:
            hwnd = make(0, WC_TABCONTROLW, L"", WS_TABSTOP | WS_CLIPSIBLINGS);
            tabs_ = hwnd;
            break;
        case K::Page:
            // A pane over the tab control's display area, shown while its tab is selected.
            hwnd = CreateWindowExW(WS_EX_CONTROLPARENT, kPaneClass, caption.c_str(),
                                   WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 0, 0, hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_,
                                   nullptr);
            SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            tab_visible_[std::string(spec.name)] = spec.visible;
            break;
    }
    if (!hwnd) throw std::runtime_error("cannot create the control " + std::string(spec.name));
    if (!spec.enabled) EnableWindow(hwnd, FALSE);
    control.hwnd = hwnd;
    ApplyFont(control);
}

void MainWindow::ApplyFont(WinControl& control) {
    const auto& spec = *control.spec;
    HFONT font = window_font_;
    const bool own =
        !spec.font_family.empty() || spec.font_points > 0 || control.width_percent < 100;
    if (control.font) DeleteObject(control.font);
    control.font = nullptr;
    if (own) {
        LOGFONTW face = DialogFont();
        face.lfHeight = -MulDiv(spec.font_points > 0 ? spec.font_points : face.lfHeight, dpi_, 72);
        if (spec.font_family == kFixedPitchFontFamily) {
            wcscpy(face.lfFaceName, L"Courier New");
            face.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
        }
        if (control.width_percent < 100) {
            // The face's own average width, narrowed.
            HFONT plain = CreateFontIndirectW(&face);
            HDC dc = GetDC(hwnd_);
            HGDIOBJ old = SelectObject(dc, plain);
            TEXTMETRICW metrics{};
            GetTextMetricsW(dc, &metrics);
            SelectObject(dc, old);
            ReleaseDC(hwnd_, dc);
            DeleteObject(plain);
            face.lfWidth = MulDiv(metrics.tmAveCharWidth, control.width_percent, 100);
        }
        control.font = CreateFontIndirectW(&face);
        font = control.font;
    }
    SendMessageW(control.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (control.frame)
        SendMessageW(control.frame, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (control.label) {
        SendMessageW(control.label, WM_SETFONT, reinterpret_cast<WPARAM>(window_font_), TRUE);
    }
}

void MainWindow::Layout() {
    for (auto& control : controls_) {
        if (control.spec->kind != K::Page) Place(control);
        ApplyFont(control);
    }
    // The pages cover the tab control's display area, known once it has its place and font.
    RECT area;
    GetWindowRect(tabs_, &area);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&area), 2);
    TabCtrl_AdjustRect(tabs_, FALSE, &area);
    for (auto& control : controls_) {
        if (control.spec->kind != K::Page) continue;
        SetWindowPos(control.hwnd, HWND_TOP, area.left, area.top, area.right - area.left,
                     area.bottom - area.top, SWP_NOACTIVATE);
    }
    for (auto& control : controls_) {
        if (control.spec->kind == K::Grid || control.spec->kind == K::List) {
            for (std::size_t i = 0; i < control.spec->columns.size(); ++i) {
                ListView_SetColumnWidth(control.hwnd, static_cast<int>(i),
                                        Scale(control.spec->columns[i].width));
            }
        }
        if (control.spec->kind == K::Memo || control.spec->kind == K::Edit ||
            control.spec->kind == K::LabeledEdit) {
            FitText(control.spec->name);
        }
        if (control.spec->kind == K::Image) {
            DeleteObject(reinterpret_cast<HBITMAP>(
                SetWindowLongPtrW(control.hwnd, GWLP_USERDATA,
                                  reinterpret_cast<LONG_PTR>(DrawEraseCountSchematic(dpi_)))));
            InvalidateRect(control.hwnd, nullptr, TRUE);
        }
    }
}

void MainWindow::Place(const WinControl& control) {
    const Geometry& g = control.spec->geometry;
    int height = Scale(g.height);
    // A drop-down list's height is its open list's.
    if (control.spec->kind == K::Combo) height += Scale(200);
    SetWindowPos(control.hwnd, nullptr, Scale(g.left), Scale(g.top), Scale(g.width), height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (control.frame) {
        SetWindowPos(control.frame, HWND_BOTTOM, 0, 0, Scale(g.width), Scale(g.height),
                     SWP_NOACTIVATE);
    }
    if (control.label) {
        SetWindowPos(control.label, nullptr, Scale(g.left), Scale(g.top - 16), Scale(g.width + 40),
                     Scale(15), SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

Geometry MainWindow::ReadGeometry(std::string_view name) const {
    const auto& control = Get(name);
    RECT r;
    GetWindowRect(control.hwnd, &r);
    MapWindowPoints(nullptr, GetParent(control.hwnd), reinterpret_cast<POINT*>(&r), 2);
    const auto unscale = [this](int v) { return MulDiv(v, 96, dpi_); };
    return {unscale(r.left), unscale(r.top), unscale(r.right - r.left), unscale(r.bottom - r.top)};
}

MainWindow::Fit MainWindow::TextFit(std::string_view name) const {
    const auto& control = Get(name);
    const bool memo = control.spec->kind == K::Memo;
    if (!memo && control.spec->kind != K::Edit && control.spec->kind != K::LabeledEdit) {
        throw std::invalid_argument(std::string(name) + " holds no text to fit");
    }
    Fit fit;
    HDC dc = GetDC(control.hwnd);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control.hwnd, WM_GETFONT, 0, 0)));
    const std::wstring text = WindowText(control.hwnd);
    const auto lines = SplitCrLf(text);
    // A memo lays its lines out in its own way (its tab stops are in dialog units, which follow
    // the system's font): a short report is measured where the memo puts each line's end, a long
    // table's lines only when they hold a tab.
    const bool short_report = memo && lines.size() <= kShortReportLines;
    std::size_t start = 0;
    for (const auto& line : lines) {
        int width = TextSize(dc, line).cx;
        if (const auto end = start + line.size();
            memo && (short_report || line.find(L'\t') != std::wstring::npos)) {
            const auto x = [&](std::size_t index) {
                return static_cast<short>(
                    LOWORD(SendMessageW(control.hwnd, EM_POSFROMCHAR, index, 0)));
            };
            // The last line has no line break to stand at its end: its last character and that.
            const bool last = end >= text.size();
            const std::wstring tail = last && !line.empty() ? line.substr(line.size() - 1) : L"";
            width = x(last ? end - tail.size() : end) - x(start) +
                    (tail.empty() ? 0 : static_cast<int>(TextSize(dc, tail).cx));
        }
        fit.widest = std::max(fit.widest, width);
        start += line.size() + 2;
    }
    SelectObject(dc, old);
    ReleaseDC(control.hwnd, dc);
    RECT room;
    SendMessageW(control.hwnd, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&room));
    // The caret takes a pixel after the last character.
    fit.room = room.right - room.left - 1;
    return fit;
}

void MainWindow::FitLines(std::string_view name, const std::vector<std::wstring>& lines) {
    const auto& control = Get(name);
    HDC dc = GetDC(control.hwnd);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control.hwnd, WM_GETFONT, 0, 0)));
    // A short report is measured whole, where the memo itself puts its lines (see TextFit).
    bool fits = static_cast<std::size_t>(SendMessageW(control.hwnd, EM_GETLINECOUNT, 0, 0)) >
                kShortReportLines;
    RECT room;
    SendMessageW(control.hwnd, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&room));
    for (const auto& line : lines) {
        // A tab stands where the memo puts it: only the whole measure knows.
        fits = fits && line.find(L'\t') == std::wstring::npos &&
               TextSize(dc, line).cx <= room.right - room.left - 1;
    }
    SelectObject(dc, old);
    ReleaseDC(control.hwnd, dc);
    if (!fits) FitText(name);
}

void MainWindow::FitText(std::string_view name) {
    auto& control = Get(name);
    if (control.width_percent != 100) {
        control.width_percent = 100;
        ApplyFont(control);
    }
    const Fit full = TextFit(name);
    // A text far too wide for its control (a long table) scrolls rather than shrinks.
    if (full.widest <= full.room || full.widest * kMinWidthPercent > full.room * 100) return;
    // A face narrows less than its average width says (blanks and digits keep theirs).
    while (control.width_percent > kMinWidthPercent) {
        control.width_percent -= 5;
        ApplyFont(control);
        const Fit fit = TextFit(name);
        if (fit.widest <= fit.room) return;
    }
    control.width_percent = 100;
    ApplyFont(control);
}

void MainWindow::FillTabs() {
    ++quiet;
    TabCtrl_DeleteAllItems(tabs_);
    tab_pages_.clear();
    for (const auto* page : MainFormPages()) {
        if (!tab_visible_[std::string(page->name)]) continue;
        std::wstring caption = WindowText(Get(page->name).hwnd);
        if (caption.empty()) caption = Wide(page->caption);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = caption.data();
        SendMessageW(tabs_, TCM_INSERTITEMW, tab_pages_.size(), reinterpret_cast<LPARAM>(&item));
        tab_pages_.emplace_back(page->name);
    }
    for (std::size_t i = 0; i < tab_pages_.size(); ++i) {
        if (tab_pages_[i] == shown_page_) TabCtrl_SetCurSel(tabs_, static_cast<int>(i));
    }
    --quiet;
}

void MainWindow::SetTabVisible(std::string_view page, bool visible) {
    if (Get(page).spec->kind != K::Page)
        throw std::invalid_argument(std::string(page) + " is no page");
    tab_visible_[std::string(page)] = visible;
    FillTabs();
}

bool MainWindow::TabVisible(std::string_view page) const {
    if (Get(page).spec->kind != K::Page)
        throw std::invalid_argument(std::string(page) + " is no page");
    for (const auto& shown : tab_pages_) {
        if (shown == page) return true;
    }
    return false;
}

void MainWindow::ShowPage(std::string_view page) {
    const auto& wanted = Get(page);
    if (wanted.spec->kind != K::Page)
        throw std::invalid_argument(std::string(page) + " is no page");
    shown_page_ = std::string(page);
    for (const auto& control : controls_) {
        if (control.spec->kind == K::Page) {
            ShowWindow(control.hwnd, control.spec->name == page ? SW_SHOWNA : SW_HIDE);
        }
    }
    for (std::size_t i = 0; i < tab_pages_.size(); ++i) {
        if (tab_pages_[i] == page) TabCtrl_SetCurSel(tabs_, static_cast<int>(i));
    }
}

std::string MainWindow::SelectedPage() const {
    const int selected = TabCtrl_GetCurSel(tabs_);
    if (selected < 0 || static_cast<std::size_t>(selected) >= tab_pages_.size()) return {};
    return tab_pages_[static_cast<std::size_t>(selected)];
}

void MainWindow::RunWhenIdle() {
    PostMessageW(hwnd_, kIdleMessage, 0, 0);
}

void MainWindow::Show() {
    CentreOnWorkArea(hwnd_, nullptr, SWP_NOZORDER);
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
    PostMessageW(hwnd_, kStartMessage, 0, 0);
}

LRESULT CALLBACK MainWindow::Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* window = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!window || !window->hwnd_) return DefWindowProcW(hwnd, message, wparam, lparam);
    return window->Handle(message, wparam, lparam);
}

namespace {

// Drive commands block the window; the pointer says so while a handler runs.
class BusyPointer {
  public:
    BusyPointer() : old_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    ~BusyPointer() { SetCursor(old_); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

  private:
    HCURSOR old_;
};

}  // namespace

LRESULT MainWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
            if (lparam != 0) OnCommand(LOWORD(wparam), HIWORD(wparam));
            return 0;
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<const NMHDR*>(lparam));
        case kEnterMessage:
            if (const auto* control = ById(static_cast<int>(wparam)); control && form_) {
                const BusyPointer busy;
                form_->EnterKey(control->spec->name);
            }
            return 0;
        case kShapeMessage:
            if (form_) {
                const auto button = static_cast<MouseButton>(wparam);
                RunGuarded(form_->ui(),
                           [&] { form_->SpecialTipShapeMouseDown(button, lparam != 0); });
            }
            return 0;
        case kStartMessage:
            if (started_) {
                auto started = std::move(started_);
                started_ = nullptr;
                started();
            }
            return 0;
        case kIdleMessage:
            if (idle_) idle_();
            return 0;
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wparam);
            const auto* suggested = reinterpret_cast<const RECT*>(lparam);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            MakeFonts();
            Layout();
            return 0;
        }
        case WM_CLOSE:
            DestroyWindow(hwnd_);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd_, message, wparam, lparam);
    }
}

void MainWindow::OnCommand(int id, int code) {
    const auto* control = ById(id);
    if (!control || !form_ || quiet > 0) return;
    const auto& spec = *control->spec;
    if (spec.kind == K::Button && code == BN_CLICKED) {
        const BusyPointer busy;
        form_->Click(spec.name);
    } else if (spec.kind == K::Check && code == BN_CLICKED) {
        const bool checked = SendMessageW(control->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
        form_->CheckChanged(spec.name, checked);
    } else if (spec.kind == K::Combo && code == CBN_SELCHANGE) {
        RunGuarded(form_->ui(), [this] { form_->DeviceListChange(); });
    }
}

LRESULT MainWindow::OnNotify(const NMHDR& header) {
    if (header.hwndFrom == tabs_) {
        if (header.code == TCN_SELCHANGE && quiet == 0) {
            const auto page = SelectedPage();
            if (!page.empty()) ShowPage(page);
        }
        return 0;
    }
    const auto* control = ById(static_cast<int>(header.idFrom));
    if (!control || control->hwnd != header.hwndFrom || !form_) return 0;
    if (control->spec->name == "ListView1" && header.code == LVN_ITEMCHANGED && quiet == 0) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if ((change.uChanged & LVIF_STATE) &&
            ((change.uOldState ^ change.uNewState) & LVIS_SELECTED)) {
            const bool selected = (change.uNewState & LVIS_SELECTED) != 0;
            const BusyPointer busy;
            RunGuarded(form_->ui(), [&] { form_->ListView1SelectItem(change.iItem, selected); });
        }
        return 0;
    }
    if (control->spec->name == "ListViewRMA" && header.code == NM_CUSTOMDRAW) {
        auto& draw = const_cast<NMLVCUSTOMDRAW&>(reinterpret_cast<const NMLVCUSTOMDRAW&>(header));
        if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
        if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) return CDRF_NOTIFYSUBITEMDRAW;
        if (draw.nmcd.dwDrawStage == (CDDS_ITEMPREPAINT | CDDS_SUBITEM)) {
            const auto rows = form_->ui().Rows("ListViewRMA");
            const auto row = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
            draw.clrText = RGB(0, 0, 0);
            SelectObject(draw.nmcd.hdc, window_font_);
            if (row < rows.size()) {
                if (const auto font =
                        form_->ListViewRMACustomDrawSubItem(rows[row], draw.iSubItem)) {
                    draw.clrText = font->colour == CellColour::Red    ? RGB(255, 0, 0)
                                   : font->colour == CellColour::Blue ? RGB(0, 0, 255)
                                                                      : RGB(0, 0, 0);
                    if (font->bold_only) SelectObject(draw.nmcd.hdc, bold_font_);
                }
            }
            return CDRF_NEWFONT;
        }
    }
    return 0;
}

SplashWindow::SplashWindow(HINSTANCE instance) {
    RegisterClasses(instance);
    const DWORD style = WS_POPUP | WS_CAPTION;
    const int dpi = DpiOf(nullptr);
    RECT frame{0, 0, MulDiv(250, dpi, 96), MulDiv(59, dpi, 96)};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_TOOLWINDOW);
    hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, kSplashClass,
                            L"Waiting............", style, 0, 0, frame.right - frame.left,
                            frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
}

SplashWindow::~SplashWindow() {
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

void SplashWindow::Show() {
    if (!hwnd_) return;
    CentreOnWorkArea(hwnd_, HWND_TOPMOST, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    UpdateWindow(hwnd_);
}

void SplashWindow::Hide() {
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

}  // namespace vt::win
