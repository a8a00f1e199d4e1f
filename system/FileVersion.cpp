#include "system/FileVersion.h"

#include "framework/AfxHandle.h"

#include <cstring>

namespace {

// A version block begins with its own length, the length of its fixed
// part, its type and the key L"VS_VERSION_INFO", padded to a 4-byte
// boundary; the fixed part, a VS_FIXEDFILEINFO, follows.
const DWORD kFixedPartOffset = 40;

}  // namespace

bool ReadFileVersion(const wchar_t* path, uint32_t& high, uint32_t& low)
{
    // Mapped as data, the program's resources can be read and none of its
    // code is prepared or run ("LoadLibraryEx": LOAD_LIBRARY_AS_DATAFILE);
    // a full path is searched nowhere.
    const CUniqueModule program(LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!program.IsValid())
        return false;
    // The block that GetFileVersionInfo reads: resource 1 of RT_VERSION.
    const HRSRC found = FindResourceW(program.Get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
    const HGLOBAL loaded = found ? LoadResource(program.Get(), found) : nullptr;
    const BYTE* block = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    const DWORD size = found ? SizeofResource(program.Get(), found) : 0;
    VS_FIXEDFILEINFO fixed;
    if (!block || size < kFixedPartOffset + sizeof(fixed))
        return false;
    std::memcpy(&fixed, block + kFixedPartOffset, sizeof(fixed));
    if (fixed.dwSignature != 0xFEEF04BD)
        return false;
    high = fixed.dwFileVersionMS;
    low = fixed.dwFileVersionLS;
    return true;
}
