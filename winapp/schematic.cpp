// The picture behind Image1, painted with GDI from its description.

#include <cmath>

#include "views/controls.h"
#include "views/erase_count_schematic.h"
#include "winapp/main_window.h"

namespace vt::win {
namespace {

using schematic::Point;

constexpr COLORREF kInk = RGB(200, 20, 20);

HFONT Font(int pixels, bool fixed_pitch, bool bold_italic) {
    return CreateFontW(-pixels, 0, 0, 0, bold_italic ? FW_BOLD : FW_NORMAL, bold_italic, FALSE,
                       FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS,
                       ANTIALIASED_QUALITY,
                       static_cast<BYTE>(fixed_pitch ? FIXED_PITCH | FF_MODERN : FF_SWISS),
                       fixed_pitch ? L"Courier New" : nullptr);
}

// One GDI object selected for the life of the holder, then deleted.
class Selected {
  public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), object_(object), old_(SelectObject(dc, object)) {}
    ~Selected() {
        SelectObject(dc_, old_);
        DeleteObject(object_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

  private:
    HDC dc_;
    HGDIOBJ object_;
    HGDIOBJ old_;
};

void Line(HDC dc, Point from, Point to) {
    MoveToEx(dc, from.x, from.y, nullptr);
    LineTo(dc, to.x, to.y);
}

void DrawNote(HDC dc, const schematic::Note& note) {
    const Selected font(dc, Font(schematic::kTableFontPixels, true, true));
    const LOGBRUSH ink{BS_SOLID, kInk, 0};
    const Selected pen(dc, ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND,
                                        2, &ink, 0, nullptr));
    SetTextColor(dc, kInk);
    const std::wstring text = Wide(note.text);
    TextOutW(dc, note.text_at.x, note.text_at.y, text.c_str(), static_cast<int>(text.size()));
    // The quadratic curve as GDI's cubic one.
    const auto arrow = schematic::ArrowOf(note);
    const auto third = [](Point end, Point control) {
        return POINT{end.x + 2 * (control.x - end.x) / 3, end.y + 2 * (control.y - end.y) / 3};
    };
    const POINT curve[4] = {{arrow.start.x, arrow.start.y},
                            third(arrow.start, arrow.control),
                            third(arrow.target, arrow.control),
                            {arrow.target.x, arrow.target.y}};
    PolyBezier(dc, curve, 4);
    // The head: two wings along the curve's last tenth.
    const double t = 0.9;
    const double bx = (1 - t) * (1 - t) * arrow.start.x + 2 * (1 - t) * t * arrow.control.x +
                      t * t * arrow.target.x;
    const double by = (1 - t) * (1 - t) * arrow.start.y + 2 * (1 - t) * t * arrow.control.y +
                      t * t * arrow.target.y;
    const double back = std::atan2(by - arrow.target.y, bx - arrow.target.x);
    for (const double turn : {0.436, -0.436}) {  // 25 degrees
        Line(dc, arrow.target,
             {arrow.target.x + static_cast<int>(std::lround(8 * std::cos(back + turn))),
              arrow.target.y + static_cast<int>(std::lround(8 * std::sin(back + turn)))});
    }
}

}  // namespace

HBITMAP DrawEraseCountSchematic(int dpi) {
    const auto& picture = schematic::EraseCountPicture();
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, MulDiv(kSchematicWidth, dpi, 96),
                                            MulDiv(kSchematicHeight, dpi, 96));
    ReleaseDC(nullptr, screen);
    if (!bitmap) {
        DeleteDC(dc);
        return nullptr;
    }
    HGDIOBJ old_bitmap = SelectObject(dc, bitmap);
    // Drawn in pixels at 96 DPI, scaled to the window's.
    SetGraphicsMode(dc, GM_ADVANCED);
    const float scale = static_cast<float>(dpi) / 96.0f;
    const XFORM transform{scale, 0, 0, scale, 0, 0};
    SetWorldTransform(dc, &transform);
    const RECT all{0, 0, kSchematicWidth, kSchematicHeight};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_BASELINE | TA_LEFT);
    {
        const Selected font(dc, Font(schematic::kTableFontPixels, true, false));
        SetTextColor(dc, RGB(0, 0, 0));
        for (const auto& text : picture.table) {
            const std::wstring wide = Wide(text.text);
            TextOutW(dc, text.at.x, text.at.y, wide.c_str(), static_cast<int>(wide.size()));
        }
        const Selected grey(dc, CreatePen(PS_SOLID, 1, RGB(128, 128, 128)));
        Line(dc, picture.rule_from, picture.rule_to);
        Line(dc, picture.column_from, picture.column_to);
    }
    for (const auto& note : picture.notes) DrawNote(dc, note);
    {
        const Selected pen(dc, CreatePen(PS_SOLID, 1, kInk));
        const HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
        const Point c = picture.ring_centre;
        Ellipse(dc, c.x - picture.ring_rx, c.y - picture.ring_ry, c.x + picture.ring_rx,
                c.y + picture.ring_ry);
        SelectObject(dc, old_brush);
    }
    {
        const Selected font(dc, Font(schematic::kParagraphFontPixels, true, false));
        SetTextColor(dc, kInk);
        SetTextAlign(dc, TA_TOP | TA_LEFT);
        RECT box{picture.paragraph_left, picture.paragraph_top,
                 picture.paragraph_left + picture.paragraph_width,
                 picture.paragraph_top + picture.paragraph_height};
        std::wstring text = Wide(picture.paragraph);
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box,
                  DT_WORDBREAK | DT_NOPREFIX);
    }
    SelectObject(dc, old_bitmap);
    DeleteDC(dc);
    return bitmap;
}

}  // namespace vt::win
