// The reference for the installer's timings: downloads one URL with
// URLDownloadToFileA, no callback, and exits.  reference_fetch URL FILE
#include <windows.h>
#include <urlmon.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: reference_fetch URL FILE\n");
        return 2;
    }
    CoInitialize(nullptr);
    DeleteFileA(argv[2]);
    const HRESULT result = URLDownloadToFileA(nullptr, argv[1], argv[2], 0, nullptr);
    CoUninitialize();
    return SUCCEEDED(result) ? 0 : 1;
}
