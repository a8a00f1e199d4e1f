#include "system/WideText.h"

void WidenAnsiText(const char* text, wchar_t* buffer, int size)
{
    if (size <= 0)
        return;
    // A conversion that does not fit fails and may leave the buffer unterminated.
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, size) == 0)
        buffer[0] = L'\0';
}

CWideText::CWideText(const char* text)
{
    // One wide character per byte at most, and the terminator.
    const int length = lstrlenA(text) + 1;
    m_text.Reset(LocalAlloc(LPTR, length * sizeof(wchar_t)));
    if (m_text.IsValid())
        WidenAnsiText(text, static_cast<wchar_t*>(m_text.Get()), length);
}
