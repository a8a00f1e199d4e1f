#pragma once

#include <cstdint>

// What the manifest may pin of the setup, beyond its address: the file's
// SHA-256 and its size, and the version it offers, below which the setup's
// own must not be. A signature proves only the publisher; the pin names the
// one file. No Windows here, so the parsing is tested natively.
struct SetupPins {
    char offeredVersion[32];   // as the manifest gives it; empty unless read
    bool hasSha256;
    bool sha256Malformed;      // the value was there but is no digest: nothing can match it
    uint8_t sha256[32];
    char sha256Text[72];       // the value as the manifest gave it, cut to fit, for the log
    bool hasSize;
    bool sizeMalformed;        // the value was there but is no count: nothing can match it
    uint32_t size;
};

// Reads the manifest's `sha256Text` (64 hex digits, either case; empty when
// absent) and `sizeText` (decimal; empty when absent) into `pins`.
void ParseSetupPins(const char* sha256Text, const char* sizeText, SetupPins& pins);

// `digest` as 64 lowercase hex digits.
void FormatSha256(const uint8_t (&digest)[32], char (&text)[65]);
