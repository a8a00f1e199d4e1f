#include "app/InstallerApp.h"
#include "app/MessageTables.h"

#include <gtest/gtest.h>

namespace {

bool MutexExists()
{
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kSingleInstanceMutexName);
    if (!mutex)
        return false;
    CloseHandle(mutex);
    return true;
}

TEST(InstallerApp, SecondInstanceEndsBeforeFillingTheTexts)
{
    HANDLE first = CreateMutexA(nullptr, FALSE, kSingleInstanceMutexName);
    ASSERT_NE(nullptr, first);

    CInstallerApp second;
    EXPECT_FALSE(second.InitInstance());
    EXPECT_EQ(nullptr, second.m_hMutex.Get());
    EXPECT_EQ(nullptr, second.m_strTitle);
    EXPECT_EQ(0, second.ExitInstance());

    CloseHandle(first);
    EXPECT_FALSE(MutexExists()) << "the second instance must close its handle exactly once";
}

TEST(InstallerApp, HoldsTheMutexUntilExitInstance)
{
    CInstallerApp app;
    EXPECT_FALSE(app.InitInstance());
    EXPECT_NE(nullptr, app.m_hMutex.Get());
    EXPECT_TRUE(MutexExists());
    EXPECT_EQ(MessageColumnForLanguage(GetSystemDefaultLangID())[MSG_TITLE], app.m_strTitle);

    EXPECT_EQ(0, app.ExitInstance());
    EXPECT_EQ(nullptr, app.m_hMutex.Get());
    EXPECT_FALSE(MutexExists());
}

}  // namespace
