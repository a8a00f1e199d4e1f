#include "app/ManifestSignature.h"

#include "app/HexDigit.h"

namespace {

const size_t kMaxSignatureDigits = 2 * kMaxSignatureBytes;

const char kLookalike[] = "a line names the [signature] section with other text on it";
const char kTwoSections[] = "more than one [signature] section";
const char kLoneCr[] = "a lone CR before or inside the [signature] section";
const char kNoKeyLine[] = "no rsa line after the [signature] line";
const char kNotRsaKey[] = "the line after [signature] is not its rsa key";
const char kNoDigits[] = "the rsa value has no hex digits";
const char kBlankInValue[] = "a blank inside or after the rsa value";
const char kNotHex[] = "the rsa value holds a character that is not a hex digit";
const char kTooLong[] = "the rsa value has more than 1024 hex digits";
const char kOddDigits[] = "the rsa value has an odd number of hex digits";
const char kTextAfter[] = "more after the rsa line than its line end";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// One line: its text is [begin, end), its line end [end, next).
struct Line {
    size_t begin;
    size_t end;
    size_t next;

    bool EndsWithLoneCr(const char* text) const { return next - end == 1 && text[end] == '\r'; }
};

Line LineAt(const char* text, size_t size, size_t begin)
{
    size_t end = begin;
    while (end < size && text[end] != '\n' && text[end] != '\r')
        ++end;
    size_t next = end;
    if (next < size)
        next += text[next] == '\r' && next + 1 < size && text[next + 1] == '\n' ? 2 : 1;
    return {begin, end, next};
}

size_t SkipBlanks(const char* text, size_t at, size_t end)
{
    while (at < end && IsBlank(text[at]))
        ++at;
    return at;
}

// Whether [at, end) begins with `word` (lower case) in any case; if so,
// `at` moves past it.
bool SkipWord(const char* text, size_t& at, size_t end, const char* word)
{
    size_t p = at;
    for (; *word; ++word, ++p) {
        if (p == end || LowerAscii(text[p]) != *word)
            return false;
    }
    at = p;
    return true;
}

enum SectionLine { OTHER_LINE, SIGNATURE_LINE, SIGNATURE_LOOKALIKE };

SectionLine ClassifyLine(const char* text, const Line& line)
{
    size_t at = SkipBlanks(text, line.begin, line.end);
    if (at == line.end || text[at] != '[')
        return OTHER_LINE;
    const size_t nameStart = at + 1;
    at = SkipBlanks(text, nameStart, line.end);
    const bool blankBeforeName = at != nameStart;
    if (!SkipWord(text, at, line.end, "signature"))
        return OTHER_LINE;
    const size_t nameEnd = at;
    at = SkipBlanks(text, at, line.end);
    if (at == line.end || text[at] != ']')
        return OTHER_LINE;
    const bool exact = !blankBeforeName && at == nameEnd && SkipBlanks(text, at + 1, line.end) == line.end;
    return exact ? SIGNATURE_LINE : SIGNATURE_LOOKALIKE;
}

// Reads the section that starts at `section` into `found`; null when it is
// well formed, else the cause.
const char* ReadSection(const char* text, size_t size, const Line& section, ManifestSignature& found)
{
    if ((section.begin > 0 && text[section.begin - 1] == '\r') || section.EndsWithLoneCr(text))
        return kLoneCr;
    if (section.next == size)
        return kNoKeyLine;
    const Line key = LineAt(text, size, section.next);
    size_t at = SkipBlanks(text, key.begin, key.end);
    if (!SkipWord(text, at, key.end, "rsa"))
        return kNotRsaKey;
    at = SkipBlanks(text, at, key.end);
    if (at == key.end || text[at] != '=')
        return kNotRsaKey;
    at = SkipBlanks(text, at + 1, key.end);

    size_t digits = 0;
    for (; at < key.end && HexDigitValue(text[at]) >= 0; ++at, ++digits) {
        if (digits < kMaxSignatureDigits) {
            const int value = HexDigitValue(text[at]);
            uint8_t& byte = found.signature[digits / 2];
            byte = static_cast<uint8_t>(digits % 2 == 0 ? value << 4 : byte | value);
        }
    }
    if (at < key.end)
        return IsBlank(text[at]) ? kBlankInValue : kNotHex;
    if (digits == 0)
        return kNoDigits;
    if (digits > kMaxSignatureDigits)
        return kTooLong;
    if (digits % 2 != 0)
        return kOddDigits;
    if (key.EndsWithLoneCr(text))
        return kLoneCr;
    if (key.next != size)
        return kTextAfter;
    found.signatureLength = digits / 2;
    found.signedLength = section.begin;
    return nullptr;
}

}  // namespace

ManifestSignatureShape FindManifestSignature(const char* text, size_t size, ManifestSignature& found,
                                             const char*& why)
{
    found = ManifestSignature();
    bool seen = false;
    Line section = {};
    for (size_t begin = 0;;) {
        const Line line = LineAt(text, size, begin);
        const SectionLine kind = ClassifyLine(text, line);
        if (kind == SIGNATURE_LOOKALIKE || (kind == SIGNATURE_LINE && seen)) {
            why = kind == SIGNATURE_LOOKALIKE ? kLookalike : kTwoSections;
            return MANIFEST_MALFORMED;
        }
        if (kind == SIGNATURE_LINE) {
            seen = true;
            section = line;
        }
        if (line.next == size)
            break;
        begin = line.next;
    }
    if (!seen) {
        found.signedLength = size;
        why = "no [signature] section";
        return MANIFEST_UNSIGNED;
    }
    why = ReadSection(text, size, section, found);
    if (why) {
        found = ManifestSignature();
        return MANIFEST_MALFORMED;
    }
    why = "a well-formed [signature] section";
    return MANIFEST_SIGNED;
}
