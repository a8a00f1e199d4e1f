#include "system/OsVersion.h"

#include <cstring>

COsVersion g_osVersion;

COsVersion::COsVersion() : m_bExInfo(false), m_bValid(false), m_nClass(OS_UNRECOGNIZED)
{
    std::memset(&m_osvi, 0, sizeof(m_osvi));
    m_osvi.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&m_osvi))) {
        m_bExInfo = true;
        m_bValid = true;
    } else {
        // Systems before NT 4 SP6 only know the plain record.
        std::memset(&m_osvi, 0, sizeof(m_osvi));
        m_osvi.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        m_bValid = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&m_osvi)) != FALSE;
    }
    if (m_bValid)
        Classify();
}

COsVersion::~COsVersion() {}

void COsVersion::Classify()
{
    m_nClass = ClassifyOsVersion(m_osvi.dwPlatformId, m_osvi.dwMajorVersion, m_osvi.dwMinorVersion,
                                 m_osvi.szCSDVersion, sizeof(m_osvi.szCSDVersion));
}

namespace {

bool IsNtVersion(DWORD major, DWORD minor)
{
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA(&info))
        return false;
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion == major &&
           info.dwMinorVersion == minor;
}

}  // namespace

int IsWindows2000()
{
    return IsNtVersion(5, 0) ? 1 : 0;
}

int IsWindowsServer2003()
{
    return IsNtVersion(5, 2) ? 1 : 0;
}
