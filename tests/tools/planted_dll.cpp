// A DLL of no use, planted next to the installer under the names of system
// DLLs: loading it is the fault the test looks for. Its one export is for
// planted_importer.dll to import.
#include <windows.h>

extern "C" __declspec(dllexport) int PlantedMark()
{
    return 1;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
