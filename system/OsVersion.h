#pragma once

#include "system/OsVersionClass.h"

#include <windows.h>

// The Windows version, read once at process start.
class COsVersion {
public:
    COsVersion();
    virtual ~COsVersion();

    bool IsVistaOrLater() const { return IsVistaOrLaterClass(m_nClass); }

    OSVERSIONINFOEXA m_osvi;
    bool m_bExInfo;  // the extended fields (service pack numbers, suite, product type) are filled
    bool m_bValid;   // one of the two queries succeeded
    OsVersionClass m_nClass;

private:
    void Classify();
};

// Read during static initialization, before anything asks for it; its
// constructor depends on no other global.
extern COsVersion g_osVersion;

// Exact tests that ask the system on every call: 1 or 0.
int IsWindows2000();
int IsWindowsServer2003();
