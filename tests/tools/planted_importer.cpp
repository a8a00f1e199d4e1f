// A DLL that imports planted.dll: where the loader finds that import shows
// which folders it searched for a loaded DLL's own imports.
#include <windows.h>

extern "C" __declspec(dllimport) int PlantedMark();

extern "C" __declspec(dllexport) int ImporterMark()
{
    return PlantedMark();
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
