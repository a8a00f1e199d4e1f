#pragma once

#include <cstdint>

// The two forms of the trust request: the early Authenticode request that
// Windows 2000 and NT 5.2 get, and the generic verify request of all others.
enum SignatureRequest { SIGNATURE_REQUEST_EARLY, SIGNATURE_REQUEST_GENERIC };

// Whether the trust service's answer accepts the setup: only success for the
// early request; success or an expired certificate for the generic one.
bool IsSignatureAccepted(SignatureRequest request, uint32_t result);

// Whether the signer's common name satisfies the configured publisher: any
// name when none is configured, else exactly that name, whole.
bool IsPublisherAccepted(const char* configured, const char* signerName);
