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

// True when CompareVersions can read `text`: it normalizes, to at most 32
// characters. Tells an equal result from an uncomparable one, which
// CompareVersions answers both with 0.
bool IsComparableVersion(const char* text);

// True only when both texts can be read as versions and `version` is equal
// to `floor` or newer; a text that cannot be read counts as older.
bool IsAtLeastVersion(const char* version, const char* floor);

// Writes a file version block's four 16-bit numbers, `high` holding the
// first two and `low` the last two, as "a.b.c.d" in decimal, terminated.
void FormatFileVersion(uint32_t high, uint32_t low, char (&text)[24]);
