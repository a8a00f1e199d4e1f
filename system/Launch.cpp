#include "system/Launch.h"

#include "system/RunLog.h"
#include "system/WideText.h"

#include <process.h>
#include <shellapi.h>

CUniqueHandle StartThread(unsigned(__stdcall* entry)(void*), void* argument)
{
    unsigned threadId = 0;
    return CUniqueHandle(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, entry, argument, 0, &threadId)));
}

bool StartWorker(unsigned(__stdcall* entry)(void*), const void* job, size_t size)
{
    CUniqueLocal copy(LocalAlloc(LMEM_FIXED, size));
    if (!copy.IsValid())
        return false;
    CopyMemory(copy.Get(), job, size);
    if (!StartThread(entry, copy.Get()).IsValid())
        return false;
    copy.Release();
    return true;
}

CUniqueHandle LaunchWithShell(const char* verb, const wchar_t* file, const wchar_t* parameters, HWND owner)
{
    // ShellExecuteEx may hand the launch to shell extensions, which Microsoft
    // says need COM in a single-threaded apartment on the calling thread.
    const CComApartment apartment;
    const CWideText wideVerb(verb);
    SHELLEXECUTEINFOW request = {};
    request.cbSize = sizeof(request);
    // Without FLAG_NO_UI the shell shows a box of its own ("Path not found")
    // when the file is missing; a failed launch is the caller's to report.
    // NOASYNC: neither caller runs a message loop after the call (the runner
    // waits for the process, the start-up ends the process), and Microsoft
    // requires it then, so that the launch is complete when the call returns.
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    request.hwnd = owner;
    request.lpVerb = wideVerb.Get();
    request.lpFile = file;
    request.lpParameters = parameters;
    request.nShow = SW_SHOW;
    const bool started = ShellExecuteExW(&request) != FALSE;
    LogLine("shell launch of %s (verb \"%hs\"): %hs, error %lu", file, verb, started ? "started" : "failed",
            started ? 0ul : GetLastError());
    return CUniqueHandle(started ? request.hProcess : nullptr);
}
