#include "system/FileDigest.h"

#include <wincrypt.h>

namespace {

// Feeds the whole file to `hash`.
bool HashWholeFile(HANDLE file, HCRYPTHASH hash)
{
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0)
        return false;
    BYTE chunk[65536];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, chunk, sizeof(chunk), &read, nullptr))
            return false;
        if (read == 0)
            return true;
        if (!CryptHashData(hash, chunk, read, 0))
            return false;
    }
}

bool HashWithProvider(HANDLE file, HCRYPTPROV provider, uint8_t (&digest)[32])
{
    HCRYPTHASH hash = 0;
    if (!CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash))
        return false;
    DWORD size = sizeof(digest);
    const bool hashed = HashWholeFile(file, hash) && CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0) &&
                        size == sizeof(digest);
    CryptDestroyHash(hash);
    return hashed;
}

}  // namespace

bool Sha256OfFile(HANDLE file, uint8_t (&digest)[32])
{
    // The AES provider type is the one that hashes with SHA-256; a context
    // that only verifies needs no key container and shows no interface.
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
        return false;
    const bool hashed = HashWithProvider(file, provider, digest);
    CryptReleaseContext(provider, 0);
    return hashed;
}
