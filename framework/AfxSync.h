#pragma once

#include <windows.h>

// Holds a critical section for the lifetime of the object.
class CCriticalSectionLock {
public:
    explicit CCriticalSectionLock(CRITICAL_SECTION& section) : m_section(section) { EnterCriticalSection(&m_section); }
    ~CCriticalSectionLock() { LeaveCriticalSection(&m_section); }

private:
    CCriticalSectionLock(const CCriticalSectionLock&) = delete;
    CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

    CRITICAL_SECTION& m_section;
};
