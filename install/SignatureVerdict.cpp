#include "install/SignatureVerdict.h"

#include <cstring>

namespace {

const uint32_t kTrusted = 0;
const uint32_t kCertificateExpired = 0x800B0101;  // CERT_E_EXPIRED

}  // namespace

bool IsSignatureAccepted(SignatureRequest request, uint32_t result)
{
    if (result == kTrusted)
        return true;
    return request == SIGNATURE_REQUEST_GENERIC && result == kCertificateExpired;
}

bool IsPublisherAccepted(const char* configured, const char* signerName)
{
    if (!configured || configured[0] == '\0')
        return true;
    return signerName && std::strcmp(configured, signerName) == 0;
}
