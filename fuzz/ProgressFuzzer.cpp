// The download percentage for any two counts: always a valid bar position,
// and exact whenever the progress has not passed its maximum.
#include "install/ProgressPercent.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint32_t counts[2] = {0, 0};
    std::memcpy(counts, data, size < sizeof(counts) ? size : sizeof(counts));
    const uint32_t progress = counts[0];
    const uint32_t maximum = counts[1];
    const int32_t percent = ProgressPercent(progress, maximum);
    if (percent < 0)
        std::abort();
    if (maximum == 0) {
        if (percent != 0)
            std::abort();
    } else if (progress <= maximum) {
        const uint64_t exact = static_cast<uint64_t>(progress) * 100u / maximum;
        if (static_cast<uint64_t>(percent) != exact)
            std::abort();
    }
    return 0;
}
