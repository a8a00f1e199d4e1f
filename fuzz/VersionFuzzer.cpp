// Two version texts from one input (split at the first NUL): normalizing and
// comparing them never crashes, and the comparison is a consistent order.
#include "app/VersionCompare.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string first = input.substr(0, split);
    const std::string second = split == std::string::npos ? std::string() : input.substr(split + 1);

    const int32_t forward = CompareVersions(first.c_str(), second.c_str());
    const int32_t backward = CompareVersions(second.c_str(), first.c_str());
    if (forward < -1 || forward > 1 || forward != -backward)
        std::abort();
    if (CompareVersions(first.c_str(), first.c_str()) != 0)
        std::abort();

    CString normalized("before");
    if (NormalizeVersion(first.c_str(), normalized)) {
        if (!std::strchr(normalized, '.'))
            std::abort();
        if (std::strchr(first.c_str(), '.') && first != static_cast<const char*>(normalized))
            std::abort();
    } else if (std::strcmp(normalized, "before") != 0) {
        std::abort();
    }
    return 0;
}
