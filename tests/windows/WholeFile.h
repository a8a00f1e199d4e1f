#pragma once

#include "framework/AfxHandle.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

// Whole files for the tests, through the real file API: `bytes` written
// over whatever stood at `path`, and what a file holds (empty when it
// cannot be read). The reader lets others read and write meanwhile.

inline void WriteWholeFile(const std::wstring& path, const std::string& bytes)
{
    const CUniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(file.IsValid() &&
                WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

inline std::string ReadWholeFile(const std::wstring& path)
{
    const CUniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    std::string bytes;
    char chunk[65536];
    DWORD read = 0;
    while (file.IsValid() && ReadFile(file.Get(), chunk, sizeof(chunk), &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    return bytes;
}
