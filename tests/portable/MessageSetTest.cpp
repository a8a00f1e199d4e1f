#include "app/MessageTables.h"

#include "tests/portable/ExpectedMessages.h"
#include "tests/portable/TextEncoding.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const MessageChar* MessageSet::*const kFields[MSG_SLOT_COUNT] = {
    &MessageSet::m_strTitle,        &MessageSet::m_strNoServer,         &MessageSet::m_strConnecting,
    &MessageSet::m_strSystemError,  &MessageSet::m_strDownloading,      &MessageSet::m_strDownloadFailed,
    &MessageSet::m_strVerifyFailed, &MessageSet::m_strInstalled,        &MessageSet::m_strInstalling,
    &MessageSet::m_strCannotElevate, &MessageSet::m_strNeedAdminPassword, &MessageSet::m_strRetry,
    &MessageSet::m_strExit,         &MessageSet::m_strFinish,
};

enum Column { ENGLISH, SIMPLIFIED, TRADITIONAL };

std::basic_string<MessageChar> Expected(int slot, Column column)
{
    const ExpectedMessages& row = kExpectedMessages[slot];
    return EncodeInUtf16(column == SIMPLIFIED ? row.simplifiedChinese
                         : column == TRADITIONAL ? row.traditionalChinese
                                                 : row.english);
}

struct LanguageCase {
    unsigned int langId;
    Column column;
};

TEST(MessageSet, FillsEverySlotFromTheColumnOfTheWholeLanguageId)
{
    const LanguageCase cases[] = {
        {0x0804, SIMPLIFIED},  {0x0404, TRADITIONAL}, {0x0409, ENGLISH}, {0x0C04, ENGLISH},
        {0x1004, ENGLISH},     {0x1404, ENGLISH},     {0x0004, ENGLISH}, {0x7C04, ENGLISH},
        {0x0000, ENGLISH},     {0xFFFF, ENGLISH},     {0x10804, ENGLISH},
    };
    for (const LanguageCase& c : cases) {
        MessageSet set;
        FillMessageSet(set, c.langId);
        for (int slot = 0; slot < MSG_SLOT_COUNT; ++slot) {
            const std::basic_string<MessageChar> expected = Expected(slot, c.column);
            ASSERT_FALSE(expected.empty()) << "slot " << slot;
            // Unit by unit: the whole text, in UTF-16, and nothing after it.
            EXPECT_TRUE(expected == set.*kFields[slot]) << "language " << std::hex << c.langId << " slot " << std::dec
                                                        << slot;
        }
    }
}

}  // namespace
