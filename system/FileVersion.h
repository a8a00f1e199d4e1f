#pragma once

#include <windows.h>

#include <cstdint>

// The fixed file version of the version block of the program at `path`:
// its two halves, as the block keeps them (major and minor in `high`,
// build and revision in `low`). False when the program has no version block
// or it cannot be read. Runs none of the program's code.
bool ReadFileVersion(const wchar_t* path, uint32_t& high, uint32_t& low);
