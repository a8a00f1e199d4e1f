#pragma once

#include <windows.h>

// Whether the system's trust service accepts the Authenticode signature of
// the setup at `path`, held open as `file` (and, when the build names one,
// whether its signer is that publisher). Shows nothing.
bool VerifySetupSignature(const wchar_t* path, HANDLE file);
