#include "app/ManifestCheck.h"

#include "ManifestKey.h"
#include "app/ManifestSignature.h"
#include "system/FileDigest.h"
#include "system/RunLog.h"

#if INSTALLER_HAS_MANIFEST_KEY

namespace {

// The most a manifest's fetch writes. Static: read once, on the main thread,
// before any worker exists.
char g_manifestBytes[65536];

}  // namespace

bool IsManifestSignedAsRequired(HANDLE manifest)
{
    DWORD size = 0;
    if (SetFilePointer(manifest, 0, nullptr, FILE_BEGIN) != 0 ||
        !ReadFile(manifest, g_manifestBytes, sizeof(g_manifestBytes), &size, nullptr)) {
        LogLine("manifest refused: it cannot be read, error %lu", GetLastError());
        return false;
    }
    ManifestSignature found;
    const char* why = "";
    const ManifestSignatureShape shape = FindManifestSignature(g_manifestBytes, size, found, why);
    if (shape != MANIFEST_SIGNED) {
        LogLine("manifest refused: %hs", shape == MANIFEST_UNSIGNED ? "it carries no signature" : why);
        return false;
    }
    // CryptoAPI takes the signature least significant byte first.
    BYTE signature[kMaxSignatureBytes];
    for (size_t i = 0; i < found.signatureLength; ++i)
        signature[i] = found.signature[found.signatureLength - 1 - i];
    CSha256 digest;
    const bool verified = digest.Start() && digest.Add(g_manifestBytes, static_cast<DWORD>(found.signedLength)) &&
                          digest.MatchesSignature(kManifestKeyBlob, kManifestKeyBlobSize, signature,
                                                  static_cast<DWORD>(found.signatureLength));
    LogLine(verified ? "manifest signature verified over %lu bytes"
                     : "manifest refused: its signature over %lu bytes does not verify with the publisher's key",
            static_cast<unsigned long>(found.signedLength));
    return verified;
}

#else

// A build that carries no key reads every manifest as before, and imports
// nothing for a check it never makes.
bool IsManifestSignedAsRequired(HANDLE)
{
    return true;
}

#endif
