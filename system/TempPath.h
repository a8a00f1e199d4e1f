#pragma once

#include <windows.h>

// The installer's two files in the user's temporary directory.
extern const char kManifestFileName[];  // "\ZIDEVADID.INI"
extern const char kSetupFileName[];     // "\ZIDEVADID.EXE"

const unsigned int kTempPathSize = 520;

// The temporary directory exactly as the system gives it (with its trailing
// backslash, or empty when it gives none) followed by `fileName`.
void BuildTempFilePath(char (&path)[kTempPathSize], const char* fileName);

typedef BOOL(WINAPI* PathFileExistsFn)(LPCSTR path);

// Before a download to `path`: drops the system's cached copy of `url` and
// the file an earlier run left at `path`, so the bytes come from the server.
// Without a `fileExists` test the leftover file stays.
void DiscardStaleCopy(const char* url, const char* path, PathFileExistsFn fileExists);
