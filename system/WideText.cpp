#include "system/WideText.h"

CWideText::CWideText(const char* text)
{
    // One wide character per byte at most, and the terminator.
    const int length = lstrlenA(text) + 1;
    m_text.Reset(LocalAlloc(LPTR, length * sizeof(wchar_t)));
    if (m_text.IsValid())
        MultiByteToWideChar(CP_ACP, 0, text, -1, static_cast<wchar_t*>(m_text.Get()), length);
}
