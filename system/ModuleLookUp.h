#pragma once

#include <windows.h>

// An optional entry point of a loaded module, as its real type; null when
// missing. The detour through void (*)() is the sanctioned generic function
// pointer type, so no warning hides a real mismatch elsewhere.
template <typename Function>
Function LookUp(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
