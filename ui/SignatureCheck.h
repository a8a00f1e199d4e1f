#pragma once

#include "framework/AfxString.h"

// Whether the system's trust service accepts the setup's Authenticode
// signature (and, when the build names one, whether its signer is that
// publisher). Shows nothing.
bool VerifySetupSignature(CString path);
