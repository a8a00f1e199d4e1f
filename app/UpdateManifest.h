#pragma once

#include "framework/AfxString.h"

// Version texts are kept in buffers of this size, so at most 31 characters.
const unsigned int kVersionBufferSize = 32;

// Downloads the update manifest and reads the offered version into `version`
// and the setup's address into `downloadUrl`. False, with `downloadUrl`
// unchanged, when either step fails.
bool FetchUpdateManifest(char (&version)[kVersionBufferSize], CString& downloadUrl);
