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

// A critical section for the whole life of the process: set up during static
// initialization, before any thread of ours exists, and never deleted, so
// that a thread which outlives the objects it served may still enter and
// leave it while the process ends.
class CProcessCriticalSection {
public:
    CProcessCriticalSection() { InitializeCriticalSection(&m_section); }
    operator CRITICAL_SECTION&() { return m_section; }

private:
    CProcessCriticalSection(const CProcessCriticalSection&) = delete;
    CProcessCriticalSection& operator=(const CProcessCriticalSection&) = delete;

    CRITICAL_SECTION m_section;
};
