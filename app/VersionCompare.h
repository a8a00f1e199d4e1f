#pragma once

#include "framework/AfxString.h"

#include <cstdint>

// Turns a version text into a dotted text: a text with a dot is kept as it
// is; a compact text of 6 to 8 characters without a dot ("14140815") becomes
// "0001.0004.0014.0815". Returns false, leaving `out` untouched, for a null
// text and for a dotless text that is longer than 8 or shorter than 6.
bool NormalizeVersion(const char* text, CString& out);

// 1 when `first` is newer, -1 when it is older, 0 when both are equal or
// either cannot be read as a version.
int32_t CompareVersions(const char* first, const char* second);
