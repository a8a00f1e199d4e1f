#include "app/AssistantLauncher.h"

#include "system/Launch.h"
#include "system/Probes.h"
#include "system/RegistryKey.h"
#include "system/RunLog.h"

namespace {

const char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const wchar_t kAssistantPath[] = L"\\ZELK\\Assistant\\QXZELK_Assistant.exe";

}  // namespace

void LaunchAssistant()
{
    // Read as UTF-16, like every path: a program folder named outside the
    // ANSI code page would reach the ANSI call as question marks.
    wchar_t programFiles[MAX_PATH] = {};
    {
        CRegistryKey key;
        DWORD size = sizeof(programFiles);
        if (!key.Open(HKEY_LOCAL_MACHINE, kCurrentVersionKey, KEY_QUERY_VALUE) ||
            !QueryTextValue(key, L"ProgramFilesDir", programFiles, size)) {
            LogLine("no program folder read: registry error %lu", GetLastError());
            return;
        }
    }
    // Quoted, so that a folder with blanks is one path; room for the longest
    // folder the buffer above can hold.
    wchar_t command[1 + MAX_PATH + sizeof(kAssistantPath) / sizeof(wchar_t) + 1];
    wsprintfW(command, L"\"%s%s\"", programFiles, kAssistantPath);
    // The assistant is not waited for: its process handle closes at once.
    // There is no window of ours to start it on behalf of.
    LaunchWithShell(GetLaunchVerb(), command, nullptr, nullptr);
}
