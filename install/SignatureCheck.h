#pragma once

#include <windows.h>

// Whether the system's trust service accepts the Authenticode signature of
// the setup at `path`, held open as `file` (and, when the build names one,
// whether its signer is that publisher). Shows nothing.
bool VerifySetupSignature(const wchar_t* path, HANDLE file);

// Whether the setup at `path` (held open, so that it is the file checked)
// is no older than `offeredVersion`, by the file version of its version
// block, and, in a build released with a version floor, no older than that.
// A version that cannot be compared counts as older. A setup without a
// version block passes only in a build that pins no publisher.
bool IsCurrentSetup(const wchar_t* path, const char* offeredVersion);
