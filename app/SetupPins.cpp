#include "app/SetupPins.h"

#include "app/HexDigit.h"
#include "install/HttpAnswer.h"

void ParseSetupPins(const char* sha256Text, const char* sizeText, SetupPins& pins)
{
    pins = SetupPins();
    pins.hasSha256 = sha256Text[0] != 0;
    unsigned int length = 0;
    for (; sha256Text[length] && length + 1 < sizeof(pins.sha256Text); ++length)
        pins.sha256Text[length] = sha256Text[length];
    pins.sha256Text[length] = 0;
    bool wellFormed = true;
    for (unsigned int i = 0; i < 64 && wellFormed; ++i) {
        const int value = HexDigitValue(sha256Text[i]);  // stops at the terminator of a shorter text
        wellFormed = value >= 0;
        if (wellFormed)
            pins.sha256[i / 2] = static_cast<uint8_t>(pins.sha256[i / 2] << 4 | value);
    }
    pins.sha256Malformed = pins.hasSha256 && (!wellFormed || sha256Text[64] != 0);
    pins.hasSize = sizeText[0] != 0;
    pins.sizeMalformed = pins.hasSize && !ParseByteCount(sizeText, pins.size);
}

void FormatSha256(const uint8_t (&digest)[32], char (&text)[65])
{
    const char kDigits[] = "0123456789abcdef";
    for (unsigned int i = 0; i < 32; ++i) {
        text[2 * i] = kDigits[digest[i] >> 4];
        text[2 * i + 1] = kDigits[digest[i] & 15];
    }
    text[64] = 0;
}
