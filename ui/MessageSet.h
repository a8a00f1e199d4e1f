#pragma once

// The texts are kept as UTF-16 and shown through the wide window functions,
// so they read right whatever the system's ANSI code page is (a Chinese
// Windows with UTF-8 as its code page, an English one showing Chinese).
// Windows takes UTF-16 as wchar_t; natively, where wchar_t is wider, the
// tables are built as char16_t for the tests.
#ifdef _WIN32
typedef wchar_t MessageChar;
#define MESSAGE_TEXT(text) L##text
#else
typedef char16_t MessageChar;
#define MESSAGE_TEXT(text) u##text
#endif

// The texts shown in message boxes and written into the install dialog, all
// in the one language that the system's default language chose. Each points
// into that language's table, which lives as long as the program; none is
// set before the texts are filled.
struct MessageSet {
    const MessageChar* m_strTitle = nullptr;
    const MessageChar* m_strNoServer = nullptr;
    const MessageChar* m_strConnecting = nullptr;
    const MessageChar* m_strSystemError = nullptr;
    const MessageChar* m_strDownloading = nullptr;
    const MessageChar* m_strDownloadFailed = nullptr;
    const MessageChar* m_strVerifyFailed = nullptr;
    const MessageChar* m_strInstalled = nullptr;
    const MessageChar* m_strInstalling = nullptr;
    const MessageChar* m_strCannotElevate = nullptr;
    const MessageChar* m_strNeedAdminPassword = nullptr;
    const MessageChar* m_strRetry = nullptr;
    const MessageChar* m_strExit = nullptr;
    const MessageChar* m_strFinish = nullptr;
};
