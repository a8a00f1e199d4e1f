#include "install/ProgressPercent.h"

int32_t ProgressPercent(uint32_t progress, uint32_t maximum)
{
    if (maximum == 0)
        return 0;
    const double percent = static_cast<double>(progress) * 100.0 / static_cast<double>(maximum);
    if (percent >= 2147483647.0)
        return INT32_MAX;
    return static_cast<int32_t>(percent);
}
