#pragma once

// The installer's two files in the user's temporary directory.
extern const char kManifestFileName[];  // "\ZIDEVADID.INI"
extern const char kSetupFileName[];     // "\ZIDEVADID.EXE"

const unsigned int kTempPathSize = 520;

// The temporary directory exactly as the system gives it (with its trailing
// backslash, or empty when it gives none) followed by `fileName`.
void BuildTempFilePath(char (&path)[kTempPathSize], const char* fileName);
