#include "tests/portable/TextEncoding.h"

#include <iconv.h>

#include <string>
#include <vector>

std::basic_string<MessageChar> EncodeInUtf16(const std::string& utf8)
{
    std::basic_string<MessageChar> text;
    iconv_t converter = iconv_open("UTF-16LE", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return text;
    std::vector<char> input(utf8.begin(), utf8.end());
    std::vector<char> output(utf8.size() * 4 + 4);
    char* in = input.data();
    size_t inLeft = input.size();
    char* out = output.data();
    size_t outLeft = output.size();
    const size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    if (result == static_cast<size_t>(-1))
        return text;
    for (const char* unit = output.data(); unit + 1 < out; unit += 2)
        text += static_cast<MessageChar>(static_cast<unsigned char>(unit[0]) |
                                         static_cast<unsigned char>(unit[1]) << 8);
    return text;
}
