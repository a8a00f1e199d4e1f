#pragma once

#include <windows.h>

// Writes `text` on the status line `status` and places the control so that
// the whole text shows: as high as the text needs when wrapped at the
// control's width (at most `area`'s height), centred in the height of
// `area`, the control's rectangle in the template in its parent's client
// coordinates. A text of one line thus keeps its place in the middle; a
// longer one wraps instead of being cut at the right edge.
void ShowStatusText(HWND status, const RECT& area, const wchar_t* text);
