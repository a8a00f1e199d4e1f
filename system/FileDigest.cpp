#include "system/FileDigest.h"

bool CSha256::Start()
{
    Discard();
    // The AES provider type is the one that hashes with SHA-256; a context
    // that only verifies needs no key container and shows no interface.
    if (!CryptAcquireContextW(&m_hProvider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
        m_hProvider = 0;
        return false;
    }
    if (!CryptCreateHash(m_hProvider, CALG_SHA_256, 0, 0, &m_hHash)) {
        m_hHash = 0;
        Discard();
        return false;
    }
    return true;
}

bool CSha256::Add(const void* bytes, DWORD size)
{
    if (m_hHash && !CryptHashData(m_hHash, static_cast<const BYTE*>(bytes), size, 0))
        Discard();
    return m_hHash != 0;
}

bool CSha256::Finish(uint8_t (&digest)[32])
{
    DWORD size = sizeof(digest);
    const bool done = m_hHash && CryptGetHashParam(m_hHash, HP_HASHVAL, digest, &size, 0) && size == sizeof(digest);
    Discard();
    return done;
}

void CSha256::Discard()
{
    if (m_hHash)
        CryptDestroyHash(m_hHash);
    if (m_hProvider)
        CryptReleaseContext(m_hProvider, 0);
    m_hHash = 0;
    m_hProvider = 0;
}
