#pragma once

#include "framework/AfxHandle.h"

// Runs `entry(argument)` on a new thread. The thread's handle, or none when
// it could not be started; dropping the handle leaves the thread running.
CUniqueHandle StartThread(unsigned(__stdcall* entry)(void*), void* argument);

// Runs `entry` on a new thread with a copy of the `size` bytes at `job`,
// allocated with LocalAlloc: the thread owns the copy and frees it
// (CUniqueLocal), so it never depends on the starter living on. False when
// the thread could not be started; nothing is then left to free. Nobody
// waits for the thread: its handle is closed at once.
bool StartWorker(unsigned(__stdcall* entry)(void*), const void* job, size_t size);

// Starts `file` through the shell with `verb` ("runas", or "" for the
// file's default action) and `parameters` (or none), showing no error box of
// the shell's own when that fails. `owner` is the window on whose behalf it
// starts (or none): an elevation prompt for a launch that names no window
// of the foreground may only flash in the taskbar instead of showing. The
// launch is complete when it returns, so the caller may end or block right
// after it; the calling thread is in a single-threaded COM apartment for the
// call. The new process's handle, or none when nothing was started.
CUniqueHandle LaunchWithShell(const char* verb, const wchar_t* file, const wchar_t* parameters, HWND owner);
