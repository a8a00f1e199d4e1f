// add_root_cert FILE.der: adds a DER certificate to the system "Root" store,
// so that a Wine prefix trusts the test CA that signed the test server.
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
        std::fprintf(stderr, "add_root_cert: cannot open %s\n", argv[1]);
        return 1;
    }
    std::vector<BYTE> der;
    BYTE buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        der.insert(der.end(), buffer, buffer + got);
    const bool readError = std::ferror(file) != 0;
    std::fclose(file);
    if (readError || der.empty()) {
        std::fprintf(stderr, "add_root_cert: cannot read %s\n", argv[1]);
        return 1;
    }

    if (!CertAddEncodedCertificateToSystemStoreA("Root", der.data(), static_cast<DWORD>(der.size()))) {
        std::fprintf(stderr, "add_root_cert: CertAddEncodedCertificateToSystemStoreA failed, error 0x%08lx\n",
                     static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    return 0;
}
