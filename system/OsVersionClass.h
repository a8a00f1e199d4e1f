#pragma once

// The Windows families the installer tells apart, numbered from 0 in order.
enum OsVersionClass {
    OS_UNRECOGNIZED,
    OS_WIN32S,
    OS_NT4,
    OS_WIN95,
    OS_WIN95_OSR2,
    OS_WIN98,
    OS_WIN98_SE,
    OS_WINME,
    OS_WIN2000,
    OS_WINXP,
    OS_WIN2003,
    OS_VISTA,
    OS_WIN7,
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
