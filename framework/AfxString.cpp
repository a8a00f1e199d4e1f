#include "framework/AfxString.h"

#include <cstdlib>
#include <cstring>

namespace {

char g_emptyText[1] = {'\0'};

int TextLength(const char* text)
{
    return text ? static_cast<int>(std::strlen(text)) : 0;
}

}  // namespace

CString::CString() : m_pchData(g_emptyText), m_nLength(0) {}

CString::CString(const char* text) : CString()
{
    AssignConcat(text, TextLength(text), nullptr, 0);
}

CString::CString(const CString& other) : CString()
{
    AssignConcat(other.m_pchData, other.m_nLength, nullptr, 0);
}

CString::~CString()
{
    Empty();
}

CString& CString::operator=(const CString& other)
{
    if (this != &other)
        AssignConcat(other.m_pchData, other.m_nLength, nullptr, 0);
    return *this;
}

CString& CString::operator=(const char* text)
{
    AssignConcat(text, TextLength(text), nullptr, 0);
    return *this;
}

CString& CString::operator+=(const char* text)
{
    AssignConcat(m_pchData, m_nLength, text, TextLength(text));
    return *this;
}

void CString::Empty()
{
    if (m_pchData != g_emptyText)
        std::free(m_pchData);
    m_pchData = g_emptyText;
    m_nLength = 0;
}

// Builds the new text in a fresh buffer before the old one is released, so
// either source may point into this string's own text.
void CString::AssignConcat(const char* first, int firstLength, const char* second, int secondLength)
{
    char* data = g_emptyText;
    int length = 0;
    if (firstLength > 0 || secondLength > 0) {
        if (secondLength > 0x7FFFFFFE - firstLength) {
            Empty();
            return;
        }
        length = firstLength + secondLength;
        data = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
        if (!data) {
            Empty();
            return;
        }
        if (firstLength > 0)
            std::memcpy(data, first, static_cast<size_t>(firstLength));
        if (secondLength > 0)
            std::memcpy(data + firstLength, second, static_cast<size_t>(secondLength));
        data[length] = '\0';
    }
    Empty();
    m_pchData = data;
    m_nLength = length;
}
