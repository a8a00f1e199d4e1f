#include "system/OsVersionClass.h"

namespace {

// Windows 9x puts its release letter in the second character of the
// service-pack text (" C" for OSR2, " A" for Second Edition).
char ReleaseLetter(const char* csdVersion, unsigned int csdSize)
{
    if (!csdVersion || csdSize < 2)
        return '\0';
    return csdVersion[1];
}

OsVersionClass ClassifyWindows9x(unsigned long major, unsigned long minor, char letter)
{
    if (major != 4)
        return OS_UNRECOGNIZED;
    switch (minor) {
    case 0:
        return letter == 'B' || letter == 'C' ? OS_WIN95_OSR2 : OS_WIN95;
    case 10:
        return letter == 'A' ? OS_WIN98_SE : OS_WIN98;
    case 90:
        return OS_WINME;
    default:
        return OS_UNRECOGNIZED;
    }
}

OsVersionClass ClassifyWindowsNT(unsigned long major, unsigned long minor)
{
    if (major <= 4)
        return OS_NT4;
    if (major == 5) {
        if (minor == 0)
            return OS_WIN2000;
        return minor == 1 ? OS_WINXP : OS_WIN2003;
    }
    if (major == 6 && minor == 0)
        return OS_VISTA;
    return OS_WIN7;
}

}  // namespace

OsVersionClass ClassifyOsVersion(unsigned long platformId, unsigned long major, unsigned long minor,
                                 const char* csdVersion, unsigned int csdSize)
{
    switch (platformId) {
    case kPlatformWin32s:
        return OS_WIN32S;
    case kPlatformWindows9x:
        return ClassifyWindows9x(major, minor, ReleaseLetter(csdVersion, csdSize));
    case kPlatformWindowsNT:
        return ClassifyWindowsNT(major, minor);
    default:
        return OS_UNRECOGNIZED;
    }
}
