#include "tests/portable/TextEncoding.h"

#include <windows.h>

#include <string>
#include <vector>

std::string EncodeInCodePage(const std::string& utf8, unsigned int codePage)
{
    const int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                               static_cast<int>(utf8.size()), nullptr, 0);
    if (wideLength <= 0)
        return std::string();
    std::vector<wchar_t> wide(static_cast<size_t>(wideLength));
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), wideLength);
    BOOL usedDefault = FALSE;
    const int length = WideCharToMultiByte(codePage, 0, wide.data(), wideLength, nullptr, 0, nullptr, &usedDefault);
    if (length <= 0 || usedDefault)
        return std::string();
    std::string encoded(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), wideLength, &encoded[0], length, nullptr, nullptr);
    return encoded;
}
