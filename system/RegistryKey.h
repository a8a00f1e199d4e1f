#pragma once

#include "framework/AfxHandle.h"

// A registry key opened for reading and closed when the object goes away.
// The installer and the products it looks for are 32-bit programs, so keys
// are always read in the 32-bit view, whatever the width of this build.
class CRegistryKey {
public:
    bool Open(HKEY root, const char* path, REGSAM access)
    {
#ifdef _WIN64
        access |= KEY_WOW64_32KEY;
#endif
        return Succeeded(RegOpenKeyExA(root, path, 0, access, m_key.Receive()));
    }

    // Reads a value's data as it lies, whatever its type; false when it is
    // missing or larger than `size`, which then holds the bytes read.
    bool QueryValue(const char* name, void* data, DWORD& size) const
    {
        return Succeeded(RegQueryValueExA(m_key.Get(), name, nullptr, nullptr, static_cast<BYTE*>(data), &size));
    }
    // The same for a value whose text is a path: read as UTF-16, it keeps
    // characters that the ANSI code page cannot hold.
    bool QueryValue(const wchar_t* name, void* data, DWORD& size) const
    {
        return Succeeded(RegQueryValueExW(m_key.Get(), name, nullptr, nullptr, static_cast<BYTE*>(data), &size));
    }

private:
    // The registry answers with its error instead of setting it: set, so
    // that a caller can say why a read failed (GetLastError).
    static bool Succeeded(LONG error)
    {
        SetLastError(static_cast<DWORD>(error));
        return error == ERROR_SUCCESS;
    }

    CUniqueKey m_key;
};

// Reads a text value, ANSI or UTF-16 as `Char` says, into `buffer` of `size`
// bytes and keeps it terminated within the buffer, even when the stored data
// has no terminator or fills the buffer (the text is then cut by one
// character). `size` returns the bytes read.
template <typename Char>
bool QueryTextValue(const CRegistryKey& key, const Char* name, Char* buffer, DWORD& size)
{
    const DWORD capacity = size / sizeof(Char);
    if (capacity == 0 || !key.QueryValue(name, buffer, size))
        return false;
    const DWORD read = size / sizeof(Char);
    buffer[read < capacity ? read : capacity - 1] = 0;
    return true;
}
