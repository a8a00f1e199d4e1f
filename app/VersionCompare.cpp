#include "app/VersionCompare.h"

#include <cstring>

namespace {

const int kMaxCompactLength = 8;
const int kMinCompactLength = 6;
const int kMaxComparableLength = 32;

bool IsSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Reads [begin, end) the way atol reads a text: leading white space, an
// optional sign, then decimal digits up to the first other character. Values
// beyond the signed 32-bit range saturate instead of overflowing.
int32_t ReadNumber(const char* begin, const char* end)
{
    const char* p = begin;
    while (p < end && IsSpace(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    const int64_t limit = negative ? INT64_C(2147483648) : INT64_C(2147483647);
    int64_t magnitude = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > limit)
            magnitude = limit;
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

// Appends `value` as printf's "%0*ld" prints it with `width`: at least
// `width` characters, zero-padded after the sign.
char* AppendPadded(char* out, int32_t value, int width)
{
    char digits[12];
    int count = 0;
    // Unsigned 32-bit arithmetic holds the magnitude of INT32_MIN too, and
    // needs no 64-bit division routine in the exe.
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    const int printed = value < 0 ? count + 1 : count;
    if (value < 0)
        *out++ = '-';
    for (int pad = printed; pad < width; ++pad)
        *out++ = '0';
    while (count > 0)
        *out++ = digits[--count];
    return out;
}

struct VersionFields {
    int32_t value[4];
};

// Splits a normalized text into its four fields. The text after a second
// dot is read only when a third dot follows it, and the fourth field stops
// at any further dot.
VersionFields SplitVersion(const char* text)
{
    VersionFields fields = {{0, 0, 0, 0}};
    const char* end = text + std::strlen(text);
    const char* start = text;
    for (int index = 0; index < 3; ++index) {
        const char* dot = static_cast<const char*>(std::memchr(start, '.', static_cast<size_t>(end - start)));
        if (!dot) {
            if (index < 2)
                fields.value[index] = ReadNumber(start, end);
            break;
        }
        fields.value[index] = ReadNumber(start, dot);
        start = dot + 1;
        if (index == 2)
            fields.value[3] = ReadNumber(start, end);
    }
    return fields;
}

// Reads `text` into `fields` as the comparison reads it; false when it
// cannot be compared.
bool ReadComparableVersion(const char* text, VersionFields& fields)
{
    CString normalized;
    if (!NormalizeVersion(text, normalized) || normalized.GetLength() > kMaxComparableLength)
        return false;
    fields = SplitVersion(normalized);
    return true;
}

int32_t CompareFields(const VersionFields& a, const VersionFields& b)
{
    for (int i = 0; i < 4; ++i) {
        if (a.value[i] != b.value[i])
            return a.value[i] > b.value[i] ? 1 : -1;
    }
    return 0;
}

}  // namespace

bool NormalizeVersion(const char* text, CString& out)
{
    if (!text)
        return false;
    if (std::strchr(text, '.')) {
        out = text;
        return true;
    }
    const size_t length = std::strlen(text);
    if (length > kMaxCompactLength || length < kMinCompactLength)
        return false;

    const char* fourth = text + length - 4;
    const char* third = fourth - (length == 8 ? 2 : 1);
    const char* second = third - 1;
    const int32_t fields[4] = {
        ReadNumber(text, second),
        ReadNumber(second, third),
        ReadNumber(third, fourth),
        ReadNumber(fourth, text + length),
    };

    // Each field comes from at most four characters, so it prints in at most
    // four characters plus a sign.
    char buffer[4 * 6];
    char* p = buffer;
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            *p++ = '.';
        p = AppendPadded(p, fields[i], 4);
    }
    *p = '\0';
    out = buffer;
    return true;
}

int32_t CompareVersions(const char* first, const char* second)
{
    VersionFields a;
    VersionFields b;
    if (!ReadComparableVersion(first, a) || !ReadComparableVersion(second, b))
        return 0;
    return CompareFields(a, b);
}

bool IsComparableVersion(const char* text)
{
    VersionFields fields;
    return ReadComparableVersion(text, fields);
}

bool IsAtLeastVersion(const char* version, const char* floor)
{
    VersionFields a;
    VersionFields b;
    return ReadComparableVersion(version, a) && ReadComparableVersion(floor, b) && CompareFields(a, b) >= 0;
}

void FormatFileVersion(uint32_t high, uint32_t low, char (&text)[24])
{
    // Four numbers of at most five digits, three dots and the terminator.
    const uint32_t fields[4] = {high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF};
    char* p = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            *p++ = '.';
        p = AppendPadded(p, static_cast<int32_t>(fields[i]), 1);
    }
    *p = '\0';
}
