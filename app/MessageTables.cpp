#include "app/MessageTables.h"

namespace {

const MessageChar* MessageSet::*const kSlotFields[] = {
    &MessageSet::m_strTitle,          &MessageSet::m_strNoServer,
    &MessageSet::m_strConnecting,     &MessageSet::m_strSystemError,
    &MessageSet::m_strDownloading,    &MessageSet::m_strDownloadFailed,
    &MessageSet::m_strVerifyFailed,   &MessageSet::m_strInstalled,
    &MessageSet::m_strInstalling,     &MessageSet::m_strCannotElevate,
    &MessageSet::m_strNeedAdminPassword, &MessageSet::m_strRetry,
    &MessageSet::m_strExit,           &MessageSet::m_strFinish,
};
static_assert(sizeof(kSlotFields) / sizeof(kSlotFields[0]) == MSG_SLOT_COUNT, "one field per slot");

}  // namespace

const MessageColumn& MessageColumnForLanguage(unsigned int langId)
{
    if (langId == kLangChineseSimplified)
        return g_messagesSimplifiedChinese;
    if (langId == kLangChineseTraditional)
        return g_messagesTraditionalChinese;
    return g_messagesEnglish;
}

void FillMessageSet(MessageSet& set, unsigned int langId)
{
    const MessageColumn& column = MessageColumnForLanguage(langId);
    for (int slot = 0; slot < MSG_SLOT_COUNT; ++slot)
        set.*kSlotFields[slot] = column[slot];
}
