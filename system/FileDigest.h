#pragma once

#include <windows.h>

#include <cstdint>

// The SHA-256 of all of `file`, read through that handle from its first
// byte, into `digest`. False when the file cannot be read or the system
// has no provider of SHA-256 (before Windows XP SP3): then nothing can be
// shown to match a pin.
bool Sha256OfFile(HANDLE file, uint8_t (&digest)[32]);
