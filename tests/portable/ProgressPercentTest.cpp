#include "install/DownloadLimits.h"
#include "install/ProgressPercent.h"

#include <gtest/gtest.h>

namespace {

struct PercentCase {
    uint32_t progress;
    uint32_t maximum;
    int32_t percent;
};

TEST(ProgressPercent, TruncatesInDoublePrecision)
{
    const PercentCase cases[] = {
        {0, 0, 0},
        {12345, 0, 0},
        {0xFFFFFFFFu, 0, 0},
        {1, 3, 33},
        {2, 3, 66},
        {3, 3, 100},
        {9999, 10000, 99},
        {6, 3, 200},
        {0xFFFFFFFFu, 0xFFFFFFFFu, 100},
        {0xFFFFFFFEu, 0xFFFFFFFFu, 99},
        {0x7FFFFFFFu, 0xFFFFFFFFu, 49},
        {0x80000000u, 0xFFFFFFFFu, 50},
        // Far above the maximum the value stays a valid bar position, which
        // the bar then shows as full.
        {0xFFFFFFFFu, 1, INT32_MAX},
        {50000000u, 2, INT32_MAX},
        {42949672u, 2, 2147483600},
        // Just below the cap and at it.
        {1073741823u, 50, 2147483646},
        {2147483647u, 100, INT32_MAX},
    };
    for (const PercentCase& c : cases)
        EXPECT_EQ(c.percent, ProgressPercent(c.progress, c.maximum)) << c.progress << " of " << c.maximum;
}

struct SilenceCase {
    uint32_t lastReport;
    uint32_t now;
    bool silent;
};

TEST(DownloadSilence, CountsFromTheLastReportAcrossTheTickWrap)
{
    const uint32_t limit = kDownloadSilenceLimitMs;
    const SilenceCase cases[] = {
        {1000, 1000, false},
        {1000, 1000 + limit - 1, false},
        {1000, 1000 + limit, true},
        {1000, 0xFFFFFFFFu, true},
        // The tick counter wraps every 49.7 days, in the middle of a download too.
        {0xFFFFFFFFu - 10, 5, false},
        {0xFFFFFFFFu - 10, limit - 12, false},
        {0xFFFFFFFFu - 10, limit - 11, true},
        // Near the top, where last + limit itself would wrap: 5 s is not silent.
        {0xFFFFFFFFu - 10000, 0xFFFFFFFFu - 5000, false},
        {0xFFFFFFFFu - 1000, 29500, true},
        {0xFFFFFFFFu - 1000, 28000, false},
        // The limit is 30 s, not some other number of them.
        {5000, 34999, false},
        {5000, 35000, true},
    };
    for (const SilenceCase& c : cases)
        EXPECT_EQ(c.silent, HasGoneSilent(c.lastReport, c.now)) << c.lastReport << " to " << c.now;
}

}  // namespace
