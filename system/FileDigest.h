#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>

// The SHA-256 of bytes fed to it in turn, as they are written, through
// CryptoAPI. Not copyable; what it holds is released when it goes.
class CSha256 {
public:
    CSha256() : m_hProvider(0), m_hHash(0) {}
    ~CSha256() { Discard(); }

    // Starts over with nothing fed. False when the system has no provider
    // of SHA-256 (before Windows XP SP3): then nothing can be shown to
    // match a pin.
    bool Start();
    // Feeds `size` bytes; false, and nothing more is taken, once a feed has
    // failed or when it was not started.
    bool Add(const void* bytes, DWORD size);
    // The digest of all that was fed since Start, into `digest`; the hash
    // is then done with. False when any of it failed.
    bool Finish(uint8_t (&digest)[32]);
    // Whether `signature` (`signatureSize` bytes, least significant first,
    // as CryptoAPI keeps them) is an RSA signature, PKCS#1 v1.5, of all that
    // was fed since Start, by the key in `keyBlob` (a PUBLICKEYBLOB of
    // `keySize` bytes); the hash is then done with. Inline, so that a build
    // that checks no signature imports nothing for it.
    bool MatchesSignature(const BYTE* keyBlob, DWORD keySize, const BYTE* signature, DWORD signatureSize)
    {
        // The key lives in the hash's own context, and goes with it.
        HCRYPTKEY key = 0;
        const bool matches = m_hHash && CryptImportKey(m_hProvider, keyBlob, keySize, 0, 0, &key) &&
                             CryptVerifySignatureW(m_hHash, signature, signatureSize, key, nullptr, 0);
        if (key)
            CryptDestroyKey(key);
        Discard();
        return matches;
    }

private:
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    void Discard();

    HCRYPTPROV m_hProvider;
    HCRYPTHASH m_hHash;
};
