#pragma once

// The Windows families the installer tells apart.
enum OsVersionClass {
    OS_UNRECOGNIZED = 0,
    OS_WIN32S = 1,
    OS_NT4 = 2,
    OS_WIN95 = 3,
    OS_WIN95_OSR2 = 4,
    OS_WIN98 = 5,
    OS_WIN98_SE = 6,
    OS_WINME = 7,
    OS_WIN2000 = 8,
    OS_WINXP = 9,
    OS_WIN2003 = 10,
    OS_VISTA = 11,
    OS_WIN7 = 12,
};

// Platform identifiers as GetVersionEx reports them.
const unsigned long kPlatformWin32s = 0;
const unsigned long kPlatformWindows9x = 1;
const unsigned long kPlatformWindowsNT = 2;

// Classifies a version record's platform, version and service-pack text.
// `csdVersion` points at the record's service-pack field of `csdSize` bytes.
OsVersionClass ClassifyOsVersion(unsigned long platformId, unsigned long major, unsigned long minor,
                                 const char* csdVersion, unsigned int csdSize);

inline bool IsVistaOrLaterClass(OsVersionClass osClass)
{
    return osClass >= OS_VISTA;
}
