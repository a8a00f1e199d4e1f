#include "system/AssistantLauncher.h"

#include "framework/AfxString.h"
#include "system/Launch.h"
#include "system/Probes.h"
#include "system/RegistryKey.h"
#include "system/WideText.h"

namespace {

const char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kAssistantPath[] = "\\ZELK\\Assistant\\QXZELK_Assistant.exe";

}  // namespace

void LaunchAssistant()
{
    CString command;
    {
        CRegistryKey key;
        char programFiles[MAX_PATH] = {};
        DWORD size = sizeof(programFiles);
        if (key.Open(HKEY_LOCAL_MACHINE, kCurrentVersionKey, KEY_QUERY_VALUE) &&
            QueryTextValue(key, "ProgramFilesDir", programFiles, size)) {
            command = "\"";
            command += programFiles;
            command += kAssistantPath;
            command += "\"";
        }
    }
    // The assistant is not waited for: its process handle closes at once.
    // There is no window of ours to start it on behalf of.
    if (!command.IsEmpty())
        LaunchWithShell(GetLaunchVerb(), CWideText(command).Get(), nullptr, nullptr);
}
