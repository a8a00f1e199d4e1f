#pragma once

#include <cstddef>
#include <cstdint>

// What the end of a downloaded manifest says of its signature.
enum ManifestSignatureShape { MANIFEST_UNSIGNED, MANIFEST_SIGNED, MANIFEST_MALFORMED };

// Room for the signature of a key of up to 4096 bits.
const size_t kMaxSignatureBytes = 512;

struct ManifestSignature {
    size_t signedLength;                    // bytes before the [signature] line: what the signature covers
    uint8_t signature[kMaxSignatureBytes];  // big-endian, as written
    size_t signatureLength;
};

// Reads the signature section that may end the `size` bytes of `text` (not
// terminated; may hold NUL bytes; null only when `size` is 0):
//
//     [signature]
//     rsa=<hex digits>
//
// Lines end at LF, CR LF or a lone CR, since a profile reader may end a line
// at any of them. Blanks are space, tab, vertical tab and form feed.
// - The section line is a line that is "[signature]" in any case, with
//   blanks around it only. A line that a reader may still take for that
//   section ("[ signature ]", "[signature] ; note") is malformed, wherever
//   it is, so that no reader sees a signature section this parser missed.
// - The line after it must be the key "rsa" in any case, with blanks
//   allowed before the key and around "="; its value is 2 to 1024 hex
//   digits of either case, an even number, without blanks, with nothing
//   after them but one LF or CR LF, or the file's end: no blanks, not even
//   an empty line. The section is thus the file's last and comes once.
// - A lone CR just before the section line or inside the section is
//   malformed: a reader that does not end lines there would run the section
//   into the signed text.
// Answers MANIFEST_UNSIGNED when no line is the section line, with
// `signedLength` = `size`; MANIFEST_SIGNED with `signedLength` the offset of
// the section line's first byte (the signed part ends with the line end
// before it) and the value's bytes in `signature`; MANIFEST_MALFORMED, with
// `found` all zero, otherwise. `why` always receives a static text for the
// log; on MANIFEST_MALFORMED it names the cause.
ManifestSignatureShape FindManifestSignature(const char* text, size_t size, ManifestSignature& found,
                                             const char*& why);
