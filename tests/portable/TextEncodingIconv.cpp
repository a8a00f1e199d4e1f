#include "tests/portable/TextEncoding.h"

#include <iconv.h>

#include <string>
#include <vector>

std::string EncodeInCodePage(const std::string& utf8, unsigned int codePage)
{
    const std::string name = "CP" + std::to_string(codePage);
    iconv_t converter = iconv_open(name.c_str(), "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::string();
    std::vector<char> input(utf8.begin(), utf8.end());
    std::vector<char> output(utf8.size() * 2 + 4);
    char* in = input.data();
    size_t inLeft = input.size();
    char* out = output.data();
    size_t outLeft = output.size();
    const size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    if (result == static_cast<size_t>(-1))
        return std::string();
    return std::string(output.data(), out);
}
