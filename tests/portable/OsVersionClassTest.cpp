#include "system/OsVersionClass.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

struct ClassCase {
    unsigned long platform;
    unsigned long major;
    unsigned long minor;
    const char* csd;
    OsVersionClass expected;
};

TEST(ClassifyOsVersion, ClassifiesByPlatformVersionNumbersAndServicePackText)
{
    const ClassCase cases[] = {
        {0, 3, 11, "", OS_WIN32S},
        {0, 99, 99, "", OS_WIN32S},
        {1, 4, 0, "", OS_WIN95},
        {1, 4, 0, " C", OS_WIN95_OSR2},
        {1, 4, 0, " B", OS_WIN95_OSR2},
        {1, 4, 0, " c", OS_WIN95},
        {1, 4, 0, "C", OS_WIN95},
        {1, 4, 0, "CA", OS_WIN95},
        {1, 4, 10, "", OS_WIN98},
        {1, 4, 10, " A", OS_WIN98_SE},
        {1, 4, 10, " B", OS_WIN98},
        {1, 4, 10, " a", OS_WIN98},
        {1, 4, 90, "", OS_WINME},
        {1, 4, 3, "", OS_UNRECOGNIZED},
        {1, 5, 0, "", OS_UNRECOGNIZED},
        {2, 3, 51, "", OS_NT4},
        {2, 4, 0, "Service Pack 6", OS_NT4},
        {2, 0, 0, "", OS_NT4},
        {2, 5, 0, "", OS_WIN2000},
        {2, 5, 1, "Service Pack 3", OS_WINXP},
        {2, 5, 2, "", OS_WIN2003},
        {2, 5, 3, "", OS_WIN2003},
        {2, 6, 0, "", OS_VISTA},
        {2, 6, 1, "", OS_WIN7},
        {2, 6, 2, "", OS_WIN7},
        {2, 6, 3, "", OS_WIN7},
        {2, 10, 0, "", OS_WIN7},
        {2, 0xFFFFFFFFul, 0xFFFFFFFFul, "", OS_WIN7},
        {3, 10, 0, "", OS_UNRECOGNIZED},
        {0xFFFFFFFFul, 6, 1, "", OS_UNRECOGNIZED},
    };
    for (const ClassCase& c : cases) {
        char csd[128] = {};
        std::snprintf(csd, sizeof(csd), "%s", c.csd);
        EXPECT_EQ(c.expected, ClassifyOsVersion(c.platform, c.major, c.minor, csd, sizeof(csd)))
            << c.platform << " " << c.major << "." << c.minor << " \"" << c.csd << '"';
    }
}

TEST(IsVistaOrLaterClass, HoldsFromVistaOn)
{
    const struct {
        OsVersionClass osClass;
        bool vistaOrLater;
    } cases[] = {
        {OS_UNRECOGNIZED, false}, {OS_WINME, false}, {OS_WIN2000, false}, {OS_WINXP, false},
        {OS_WIN2003, false},      {OS_VISTA, true},  {OS_WIN7, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.vistaOrLater, IsVistaOrLaterClass(c.osClass)) << "class " << c.osClass;
}

TEST(ClassifyOsVersion, NeverReadsOutsideTheServicePackField)
{
    const char oneByte[1] = {'\0'};
    EXPECT_EQ(OS_WIN95, ClassifyOsVersion(1, 4, 0, oneByte, sizeof(oneByte)));
    EXPECT_EQ(OS_WIN98, ClassifyOsVersion(1, 4, 10, nullptr, 0));
}

}  // namespace
