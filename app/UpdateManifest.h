#pragma once

#include "framework/AfxString.h"

// Version texts are kept in buffers of this size, so at most 31 characters.
const unsigned int kVersionBufferSize = 32;

// Downloads the update manifest and reads the offered version into `version`
// and the setup's address into `downloadUrl`. False, with `downloadUrl`
// unchanged, when either step fails.
bool FetchUpdateManifest(char (&version)[kVersionBufferSize], CString& downloadUrl);

// Reads the manifest at `path`: the offered version into `version` and the
// setup's address into `downloadUrl`, each as ANSI text cut at a whole
// character to fit its buffer. False, with `downloadUrl` unchanged, when
// either is absent or empty.
bool ReadUpdateManifest(const wchar_t* path, char (&version)[kVersionBufferSize], CString& downloadUrl);
