#pragma once

#include "ui/MessageSet.h"

// The slots of the localized texts, in the order of the MessageSet fields.
enum MessageSlot {
    MSG_TITLE,
    MSG_NO_SERVER,
    MSG_CONNECTING,
    MSG_SYSTEM_ERROR,
    MSG_DOWNLOADING,
    MSG_DOWNLOAD_FAILED,
    MSG_VERIFY_FAILED,
    MSG_INSTALLED,
    MSG_INSTALLING,
    MSG_CANNOT_ELEVATE,
    MSG_NEED_ADMIN_PASSWORD,
    MSG_RETRY,
    MSG_EXIT,
    MSG_FINISH,
    MSG_SLOT_COUNT
};

// One language's texts, in UTF-16.
typedef const MessageChar* const MessageColumn[MSG_SLOT_COUNT];

extern const MessageColumn g_messagesEnglish;
extern const MessageColumn g_messagesSimplifiedChinese;
extern const MessageColumn g_messagesTraditionalChinese;

const unsigned int kLangChineseSimplified = 0x0804;   // Chinese (PRC)
const unsigned int kLangChineseTraditional = 0x0404;  // Chinese (Taiwan)

// The whole identifier decides: other Chinese sublanguages get English.
const MessageColumn& MessageColumnForLanguage(unsigned int langId);

// Fills every slot of `set` from the one column of `langId`.
void FillMessageSet(MessageSet& set, unsigned int langId);
