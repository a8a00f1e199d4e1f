// A manifest's end as a hostile server writes it: nothing read past its
// bytes, the signed part lies within them and holds no signature section of
// its own, and the signature has one byte for every two digits written.
#include "app/ManifestSignature.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// The digit's value by a road of its own (the C library's), so that the
// check does not lean on the code it checks.
int DigitValue(char c)
{
    const char digit[2] = {c, 0};
    char* end = nullptr;
    const long value = std::isxdigit(static_cast<unsigned char>(c)) ? std::strtol(digit, &end, 16) : -1;
    return static_cast<int>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    ManifestSignature found;
    const char* why = nullptr;
    const ManifestSignatureShape shape = FindManifestSignature(text, size, found, why);
    if (!why || found.signedLength > size || found.signatureLength > kMaxSignatureBytes)
        std::abort();
    if (shape != MANIFEST_SIGNED) {
        if (found.signatureLength != 0 || (shape == MANIFEST_UNSIGNED && found.signedLength != size))
            std::abort();
        return 0;
    }
    if (found.signatureLength == 0 || (found.signedLength > 0 && text[found.signedLength - 1] != '\n'))
        std::abort();

    // The only "=" after the signed part is the key's; the digits follow it,
    // and each pair is one byte of the signature.
    size_t digits = 0;
    size_t at = found.signedLength;
    while (at < size && text[at] != '=')
        ++at;
    for (; at < size; ++at) {
        const int value = DigitValue(text[at]);
        if (value < 0)
            continue;
        const uint8_t byte = digits / 2 < kMaxSignatureBytes ? found.signature[digits / 2] : 0;
        if (value != (digits % 2 == 0 ? byte >> 4 : byte & 15))
            std::abort();
        ++digits;
    }
    if (digits != 2 * found.signatureLength)
        std::abort();

    // A copy of exactly the signed part, so that a read past it is caught.
    const std::vector<char> signedPart(text, text + found.signedLength);
    ManifestSignature inner;
    if (FindManifestSignature(signedPart.data(), signedPart.size(), inner, why) != MANIFEST_UNSIGNED)
        std::abort();
    return 0;
}
