#pragma once

#include <windows.h>

// Paths in the user's temporary directory are wide: a user name outside the
// ANSI code page (C:\Users\张伟 on an English Windows) reaches the ANSI
// functions as question marks, a path that does not exist.

const unsigned int kTempPathSize = 520;

// The temporary directory exactly as the system gives it (with its trailing
// backslash, or empty when it gives none) followed by `fileName`, which
// begins with a backslash: after the directory's own it makes a "\\", which
// Windows reads as one.
void BuildTempFilePath(wchar_t (&path)[kTempPathSize], const wchar_t* fileName);

typedef BOOL(WINAPI* PathFileExistsFn)(LPCWSTR path);

// Before a download of `url` to `path`: drops the system's cached copy of
// `url` and the file an earlier run left at `path`, so the bytes come from
// the server. Without a `fileExists` test the leftover file stays.
void DiscardStaleCopy(const wchar_t* url, const wchar_t* path, PathFileExistsFn fileExists);
