// Run once per system locale (LC_ALL): the installer's texts are the texts
// of the language that the locale selects, in UTF-16 whatever the locale's
// code page.
#include "app/InstallerApp.h"
#include "app/MessageTables.h"
#include "tests/portable/ExpectedMessages.h"
#include "tests/portable/TextEncoding.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

enum Column { ENGLISH, SIMPLIFIED, TRADITIONAL };

struct LocaleCase {
    const char* locale;
    LANGID langId;
    UINT codePage;
    Column column;
};

const LocaleCase kLocales[] = {
    {"zh_CN.UTF-8", 0x0804, 936, SIMPLIFIED},
    {"zh_TW.UTF-8", 0x0404, 950, TRADITIONAL},
    {"zh_HK.UTF-8", 0x0C04, 950, ENGLISH},
    {"en_US.UTF-8", 0x0409, 1252, ENGLISH},
};

const LocaleCase* CurrentLocale()
{
    const char* locale = std::getenv("LC_ALL");
    for (const LocaleCase& c : kLocales) {
        if (locale && std::string(locale) == c.locale)
            return &c;
    }
    return nullptr;
}

const char* ExpectedUtf8(int slot, Column column)
{
    const ExpectedMessages& row = kExpectedMessages[slot];
    return column == SIMPLIFIED ? row.simplifiedChinese : column == TRADITIONAL ? row.traditionalChinese : row.english;
}

TEST(MessageLocale, TextsAreTheLanguageOfTheSystemLocale)
{
    const LocaleCase* locale = CurrentLocale();
    ASSERT_NE(nullptr, locale) << "run with LC_ALL set to one of the tested locales";
    ASSERT_EQ(locale->langId, GetSystemDefaultLangID());
    ASSERT_EQ(locale->codePage, GetACP());

    CInstallerApp app;
    app.InitInstance();
    const MessageChar* const* slots[MSG_SLOT_COUNT] = {
        &app.m_strTitle,        &app.m_strNoServer,    &app.m_strConnecting,   &app.m_strSystemError,
        &app.m_strDownloading,  &app.m_strDownloadFailed, &app.m_strVerifyFailed, &app.m_strInstalled,
        &app.m_strInstalling,   &app.m_strCannotElevate, &app.m_strNeedAdminPassword, &app.m_strRetry,
        &app.m_strExit,         &app.m_strFinish,
    };
    for (int slot = 0; slot < MSG_SLOT_COUNT; ++slot) {
        const std::wstring expected = EncodeInUtf16(ExpectedUtf8(slot, locale->column));
        ASSERT_FALSE(expected.empty()) << "slot " << slot;
        ASSERT_NE(nullptr, *slots[slot]) << "slot " << slot;
        EXPECT_EQ(expected, std::wstring(*slots[slot])) << locale->locale << " slot " << slot;
    }
    app.ExitInstance();
}

}  // namespace
