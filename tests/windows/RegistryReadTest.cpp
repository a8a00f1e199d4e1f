// What the installer reads from the registry, against the real registry of
// the test's own prefix.
#include "app/InstallerApp.h"
#include "app/UpdateManifest.h"
#include "system/OsVersion.h"
#include "system/Probes.h"
#include "system/WideText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kProductKey[] = "Software\\Kestrix\\QXZELK_Assistant";
const char kPolicyKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

// The values go to the registry view the installer reads: the 32-bit one,
// which a 64-bit build of these tests must ask for.
#ifdef _WIN64
const REGSAM kProductView = KEY_WOW64_32KEY;
#else
const REGSAM kProductView = 0;
#endif

void SetValue(const char* key, const char* name, DWORD type, const std::vector<BYTE>& data)
{
    HKEY handle = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE | kProductView,
                                             nullptr, &handle, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(handle, name, 0, type, data.data(), static_cast<DWORD>(data.size())));
    RegCloseKey(handle);
}

void DeleteValue(const char* key, const char* name)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE | kProductView, &handle) == ERROR_SUCCESS) {
        RegDeleteValueA(handle, name);
        RegCloseKey(handle);
    }
}

std::vector<BYTE> Bytes(const std::string& text, bool terminated)
{
    std::vector<BYTE> bytes(text.begin(), text.end());
    if (terminated)
        bytes.push_back(0);
    return bytes;
}

struct InstalledCase {
    const char* label;
    DWORD type;
    std::vector<BYTE> data;  // empty: no value
    bool found;
    std::string text;
};

TEST(ReadInstalledVersion, StaysTerminatedWithinItsBuffer)
{
    const std::string text31(31, '7');
    const std::string text32(32, '8');
    const InstalledCase cases[] = {
        {"plain", REG_SZ, Bytes("1.4.14.815", true), true, "1.4.14.815"},
        {"stored without terminator", REG_SZ, Bytes("1.4.14.815", false), true, "1.4.14.815"},
        {"31 characters and terminator", REG_SZ, Bytes(text31, true), true, text31},
        {"32 bytes without terminator", REG_BINARY, Bytes(text32, false), true, text32.substr(0, 31)},
        {"32 characters and terminator", REG_SZ, Bytes(text32, true), false, ""},
        {"40 characters", REG_SZ, Bytes(std::string(40, '9'), true), false, ""},
        {"a number", REG_DWORD, {0x31, 0x32, 0, 0}, true, "12"},
        {"missing", REG_SZ, {}, false, ""},
    };
    for (const InstalledCase& c : cases) {
        DeleteValue(kProductKey, "Version");
        if (!c.data.empty())
            SetValue(kProductKey, "Version", c.type, c.data);
        char buffer[kVersionBufferSize + 8];
        std::memset(buffer, 'x', sizeof(buffer));
        std::memset(buffer, 0, kVersionBufferSize);
        DWORD size = kVersionBufferSize;
        EXPECT_EQ(c.found, theApp.ReadInstalledVersion(buffer, &size)) << c.label;
        if (c.found) {
            EXPECT_EQ(c.text, std::string(buffer)) << c.label;
        }
        EXPECT_EQ('x', buffer[kVersionBufferSize]) << c.label << ": wrote past the buffer";
    }
    DeleteValue(kProductKey, "Version");
}

TEST(WidenAnsiText, FitsWholeOrComesBackEmpty)
{
    const struct {
        const char* text;
        int size;
        const wchar_t* expected;
    } cases[] = {
        {"https://localhost:8443/a.exe", 29, L"https://localhost:8443/a.exe"},
        {"https://localhost:8443/a.exe", 28, L""},  // no room for the terminator
        {"", 1, L""},
    };
    for (const auto& c : cases) {
        wchar_t buffer[40];
        std::fill(buffer, buffer + 40, L'x');
        WidenAnsiText(c.text, buffer, c.size);
        EXPECT_EQ(std::wstring(c.expected), std::wstring(buffer)) << c.text << " in " << c.size;
        EXPECT_EQ(L'x', buffer[c.size]) << c.text << ": wrote past the buffer";
    }
}

struct UacCase {
    const char* label;
    DWORD type;
    std::vector<BYTE> data;
    int enabled;
};

TEST(IsUacEnabled, ReadsEnableLuaAsItLies)
{
    ASSERT_TRUE(g_osVersion.IsVistaOrLater()) << "the prefix reports Windows 7";
    const UacCase cases[] = {
        {"1", REG_DWORD, {1, 0, 0, 0}, 1},
        {"0", REG_DWORD, {0, 0, 0, 0}, 0},
        {"any other value", REG_DWORD, {0, 0, 2, 0}, 1},
        {"two bytes", REG_BINARY, {1, 0}, 1},
        {"longer than four bytes", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, 0},
        {"missing", REG_DWORD, {}, 0},
    };
    for (const UacCase& c : cases) {
        DeleteValue(kPolicyKey, "EnableLUA");
        if (!c.data.empty())
            SetValue(kPolicyKey, "EnableLUA", c.type, c.data);
        EXPECT_EQ(c.enabled, IsUacEnabled()) << c.label;
    }
}

}  // namespace
