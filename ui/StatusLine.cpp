#include "ui/StatusLine.h"

#include "framework/AfxHandle.h"

namespace {

// How a left-aligned static control lays its text out.
const UINT kStaticTextFormat = DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS;

// The height `text` takes wrapped at `width` in the control's font; 0 when it cannot be measured.
LONG WrappedHeight(HWND control, const wchar_t* text, LONG width)
{
    RECT bounds = {0, 0, width, 0};
    const CWindowDC dc(control, GetDC(control));
    if (!dc.Get())
        return 0;
    const HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0));
    const CReplacedObject replaced(dc.Get(), font ? SelectObject(dc.Get(), font) : nullptr);
    const int height = DrawTextW(dc.Get(), text, -1, &bounds, kStaticTextFormat | DT_CALCRECT);
    return height > 0 ? bounds.bottom - bounds.top : 0;
}

}  // namespace

void ShowStatusText(HWND status, const RECT& area, const wchar_t* text)
{
    const LONG width = area.right - area.left;
    const LONG areaHeight = area.bottom - area.top;
    LONG height = WrappedHeight(status, text, width);
    if (height <= 0 || height > areaHeight)
        height = areaHeight;
    SetWindowPos(status, nullptr, area.left, area.top + (areaHeight - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowTextW(status, text);
    // The control is transparent: the dialog repaints what the old text covered.
    const HWND parent = GetParent(status);
    if (parent)
        InvalidateRect(parent, &area, TRUE);
}
