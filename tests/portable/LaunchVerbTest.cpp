#include "system/LaunchVerb.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int g_adminAnswer = 0;
int g_adminAsked = 0;

int FakeIsAdministrator()
{
    ++g_adminAsked;
    return g_adminAnswer;
}

struct VerbCase {
    bool vistaOrLater;
    int administrator;
    const char* verb;
    int asked;
};

TEST(SelectLaunchVerb, ElevatesOnVistaAndForNonAdministratorsBefore)
{
    const VerbCase cases[] = {
        {true, 1, "runas", 0},
        {true, 0, "runas", 0},
        {false, 1, "", 1},
        {false, 0, "runas", 1},
    };
    for (const VerbCase& c : cases) {
        g_adminAnswer = c.administrator;
        g_adminAsked = 0;
        const char* verb = SelectLaunchVerb(c.vistaOrLater, FakeIsAdministrator);
        ASSERT_NE(nullptr, verb);
        EXPECT_EQ(std::string(c.verb), verb) << c.vistaOrLater << c.administrator;
        EXPECT_EQ(c.asked, g_adminAsked) << "the account is consulted only before Vista";
    }
}

}  // namespace
