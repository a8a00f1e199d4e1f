#pragma once

#include <windows.h>

// Whether the manifest held open as `manifest` may be read: in a build that
// carries the publisher's key, only when it ends with a signature section
// whose RSA signature (PKCS#1 v1.5, SHA-256) by that key covers every byte
// before it, as read through the handle; in one that carries none, always
// (the section is then ignored). The log names the cause of a refusal.
bool IsManifestSignedAsRequired(HANDLE manifest);
