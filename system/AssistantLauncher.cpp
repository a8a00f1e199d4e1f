#include "AssistantLauncher.h"

#include "AfxString.h"
#include "Probes.h"
#include "RegistryKey.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>

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
    if (command.IsEmpty())
        return;

    SHELLEXECUTEINFOA request;
    std::memset(&request, 0, sizeof(request));
    request.cbSize = sizeof(request);
    // Without FLAG_NO_UI the shell itself shows an error box ("Path not
    // found") when the assistant is missing; a failed launch must stay silent.
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    request.lpVerb = GetLaunchVerb();
    request.lpFile = command;
    request.nShow = SW_SHOW;
    if (ShellExecuteExA(&request) && request.hProcess)
        CloseHandle(request.hProcess);
}
