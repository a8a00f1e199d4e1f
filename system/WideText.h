#pragma once

#include "framework/AfxHandle.h"

// Writes into `buffer` of `size` characters the UTF-16 form of the 8-bit
// `text` in the system's ANSI code page, as the system's own ANSI functions
// convert it, terminated; empty when it does not fit.
void WidenAnsiText(const char* text, wchar_t* buffer, int size);

// A UTF-16 copy of an 8-bit text in the system's ANSI code page, as the
// system's own ANSI functions convert it; empty when it cannot be made.
class CWideText {
public:
    explicit CWideText(const char* text);
    const wchar_t* Get() const { return m_text.IsValid() ? static_cast<const wchar_t*>(m_text.Get()) : L""; }

private:
    CUniqueLocal m_text;
};
