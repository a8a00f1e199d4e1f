// Run once per Windows version of the prefix (WINE_WINDOWS_VERSION): the
// class and the exact tests agree with what the system reports.
#include "system/OsVersion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

struct VersionCase {
    const char* wineName;
    DWORD major;
    DWORD minor;
    OsVersionClass osClass;
    int windows2000;
    int server2003;
};

const VersionCase kVersions[] = {
    {"win2k", 5, 0, OS_WIN2000, 1, 0},
    {"winxp", 5, 1, OS_WINXP, 0, 0},
    {"win2003", 5, 2, OS_WIN2003, 0, 1},
    {"vista", 6, 0, OS_VISTA, 0, 0},
    {"win7", 6, 1, OS_WIN7, 0, 0},
    // A program without a compatibility manifest is told 6.2 on Windows 10.
    {"win10", 6, 2, OS_WIN7, 0, 0},
};

TEST(OsVersion, AgreesWithThePrefixVersion)
{
    const char* name = std::getenv("WINE_WINDOWS_VERSION");
    ASSERT_NE(nullptr, name);
    const VersionCase* expected = nullptr;
    for (const VersionCase& c : kVersions) {
        if (std::string(name) == c.wineName)
            expected = &c;
    }
    ASSERT_NE(nullptr, expected) << name;

    OSVERSIONINFOA reported = {};
    reported.dwOSVersionInfoSize = sizeof(reported);
    ASSERT_TRUE(GetVersionExA(&reported));
    ASSERT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), reported.dwPlatformId);
    ASSERT_EQ(expected->major, reported.dwMajorVersion) << "the prefix did not take the version";
    ASSERT_EQ(expected->minor, reported.dwMinorVersion);

    EXPECT_TRUE(g_osVersion.m_bValid);
    EXPECT_TRUE(g_osVersion.m_bExInfo);
    EXPECT_EQ(expected->major, g_osVersion.m_osvi.dwMajorVersion);
    EXPECT_EQ(expected->osClass, g_osVersion.m_nClass);
    EXPECT_EQ(expected->osClass >= OS_VISTA, g_osVersion.IsVistaOrLater());
    EXPECT_EQ(expected->windows2000, IsWindows2000());
    EXPECT_EQ(expected->server2003, IsWindowsServer2003());
}

}  // namespace
