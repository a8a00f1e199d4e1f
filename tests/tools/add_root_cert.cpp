// Adds a DER certificate to the prefix's trusted root store, so that the
// test server's certificate chain is trusted: add_root_cert FILE.der
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: add_root_cert FILE.der\n");
        return 2;
    }
    std::FILE* file = std::fopen(argv[1], "rb");
    if (!file) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    std::vector<BYTE> der;
    BYTE chunk[4096];
    size_t read;
    while ((read = std::fread(chunk, 1, sizeof(chunk), file)) > 0)
        der.insert(der.end(), chunk, chunk + read);
    std::fclose(file);
    if (!CertAddEncodedCertificateToSystemStoreA("Root", der.data(), static_cast<DWORD>(der.size()))) {
        std::fprintf(stderr, "CertAddEncodedCertificateToSystemStoreA failed: %lu\n", GetLastError());
        return 1;
    }
    return 0;
}
