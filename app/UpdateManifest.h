#pragma once

#include "app/SetupPins.h"
#include "framework/AfxString.h"
#include "system/TempPath.h"

// Version texts are kept in buffers of this size, so at most 31 characters.
const unsigned int kVersionBufferSize = 32;

// Downloads the update manifest and reads the offered version into `version`,
// the setup's address into `downloadUrl` and what it pins of the setup into
// `pins`. False, with `downloadUrl` unchanged, when either step fails.
bool FetchUpdateManifest(char (&version)[kVersionBufferSize], CString& downloadUrl, SetupPins& pins);

// Reads the manifest at `path`, held so that nobody can change it meanwhile
// and only if it is the file of identity `written`, the one its download
// wrote: the offered version into `version` and the setup's address into
// `downloadUrl`, each as ANSI text cut at a whole character to fit its
// buffer, and the optional [download] sha256 and size into `pins`. False,
// with `downloadUrl` unchanged, when it is another file or cannot be held,
// or when the version or the address is absent or empty.
bool ReadUpdateManifest(const wchar_t* path, const FileIdentity& written, char (&version)[kVersionBufferSize],
                        CString& downloadUrl, SetupPins& pins);
