#pragma once

// A small growable 8-bit string, the only string type of the program.
// The text is always NUL-terminated; an empty string points at a shared "".
// When memory runs out an operation leaves the string empty rather than
// half-written, so a caller never sees a torn or unterminated text.
class CString {
public:
    CString();
    CString(const char* text);  // null reads as empty
    CString(const CString& other);
    ~CString();

    CString& operator=(const CString& other);
    CString& operator=(const char* text);
    CString& operator+=(const char* text);

    int GetLength() const { return m_nLength; }
    bool IsEmpty() const { return m_nLength == 0; }
    void Empty();
    operator const char*() const { return m_pchData; }

private:
    void AssignConcat(const char* first, int firstLength, const char* second, int secondLength);

    char* m_pchData;
    int m_nLength;
};
