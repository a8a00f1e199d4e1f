#include "install/HttpAnswer.h"

namespace {

bool IsBlank(wchar_t c)
{
    return c == ' ' || c == '\t';
}

wchar_t Lower(wchar_t c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<wchar_t>(c - 'A' + 'a') : c;
}

// Reads a count that ends at `stop`; moves `text` past it.
bool ReadCount(const wchar_t*& text, wchar_t stop, uint32_t& count)
{
    wchar_t digits[24] = {};
    size_t length = 0;
    while (*text && *text != stop && length + 1 < sizeof(digits) / sizeof(digits[0]))
        digits[length++] = *text++;
    if (*text != stop)
        return false;
    if (stop)
        ++text;
    return ParseByteCount(digits, count);
}

// Where the value of the first header `name` in `headers` starts, without
// its leading blanks, with its length without its trailing blanks in
// `length`; null when absent.
const wchar_t* FindHeader(const wchar_t* headers, const char* name, size_t& length)
{
    for (const wchar_t* line = headers; line && *line;) {
        const wchar_t* end = line;
        while (*end && *end != '\r' && *end != '\n')
            ++end;
        size_t matched = 0;
        while (name[matched] && line + matched < end && Lower(line[matched]) == Lower(name[matched]))
            ++matched;
        if (!name[matched] && line + matched < end && line[matched] == ':') {
            const wchar_t* first = line + matched + 1;
            while (first < end && IsBlank(*first))
                ++first;
            while (end > first && IsBlank(end[-1]))
                --end;
            length = static_cast<size_t>(end - first);
            return first;
        }
        line = end;
        while (*line == '\r' || *line == '\n')
            ++line;
    }
    return nullptr;
}

// Whether the `length` characters at `text` are "identity", in any case.
bool IsIdentity(const wchar_t* text, size_t length)
{
    const wchar_t* identity = L"identity";
    for (; length; --length, ++text, ++identity) {
        if (Lower(*text) != *identity)
            return false;
    }
    return !*identity;
}

// RFC 9110 8.8.3: a strong entity tag is DQUOTE *etagc DQUOTE; a weak one
// starts with "W/". Of etagc's exclusions only those that could split or
// garble a header are looked at: blanks, control characters, quotes.
bool IsStrongEntityTag(const wchar_t* tag, size_t length)
{
    if (length < 2 || tag[0] != '"' || tag[length - 1] != '"')
        return false;
    for (size_t i = 1; i + 1 < length; ++i) {
        if (tag[i] <= ' ' || tag[i] == '"')
            return false;
    }
    return true;
}

// Copies the `length` characters at `found` into `value` of `size`
// characters; false, with `value` empty, when absent or too long to fit.
bool CopyValue(const wchar_t* found, size_t length, wchar_t* value, size_t size)
{
    value[0] = 0;
    if (!found || length >= size)
        return false;
    for (size_t i = 0; i < length; ++i)
        value[i] = found[i];
    value[length] = 0;
    return true;
}

}  // namespace

bool FindHeaderValue(const wchar_t* headers, const char* name, wchar_t* value, size_t size)
{
    size_t length = 0;
    const wchar_t* found = FindHeader(headers, name, length);
    return CopyValue(found, length, value, size);
}

bool FindRangeValidator(const wchar_t* headers, wchar_t* validator)
{
    size_t length = 0;
    const wchar_t* tag = FindHeader(headers, "ETag", length);
    const wchar_t* own = tag ? (IsStrongEntityTag(tag, length) ? tag : nullptr)
                             : FindHeader(headers, "Last-Modified", length);
    return CopyValue(own, length, validator, kHeaderValueSize) && validator[0];
}

bool ParseContentRange(const wchar_t* value, uint32_t& first, uint32_t& last, uint32_t& total)
{
    const char kUnit[] = "bytes ";
    for (size_t i = 0; kUnit[i]; ++i, ++value) {
        if (Lower(*value) != kUnit[i])
            return false;
    }
    return ReadCount(value, '-', first) && ReadCount(value, '/', last) && ReadCount(value, 0, total) &&
           first <= last && last < total;
}

AnswerUse JudgeAnswer(uint32_t status, const wchar_t* headers, uint32_t resumeAt, uint32_t total,
                      const wchar_t* validator)
{
    if (status == 200 || status == 0)
        return ANSWER_WHOLE;
    if (resumeAt == 0 || (status != 206 && status != 416))
        return ANSWER_REFUSED;
    wchar_t range[kHeaderValueSize];
    uint32_t first = 0, last = 0, answerTotal = 0;
    if (status != 206 || !FindHeaderValue(headers, "Content-Range", range, kHeaderValueSize) ||
        !ParseContentRange(range, first, last, answerTotal) || first != resumeAt || last + 1 != total ||
        answerTotal != total)
        return ANSWER_START_OVER;
    // Its own validator, taken as from a whole answer, must be the one sent,
    // and its body that version's bytes, not a coding of them.
    wchar_t own[kHeaderValueSize];
    if (!FindRangeValidator(headers, own))
        return ANSWER_START_OVER;
    for (size_t i = 0; own[i] || validator[i]; ++i) {
        if (own[i] != validator[i])
            return ANSWER_START_OVER;
    }
    size_t length = 0;
    const wchar_t* coding = FindHeader(headers, "Content-Encoding", length);
    return !coding || IsIdentity(coding, length) ? ANSWER_GOES_ON : ANSWER_START_OVER;
}

LengthClaim ReadContentLength(const wchar_t* value, uint32_t& length)
{
    if (ParseByteCount(value, length))
        return LENGTH_GIVEN;
    bool digits = *value != 0;
    for (const wchar_t* c = value; *c && digits; ++c)
        digits = *c >= '0' && *c <= '9';
    return digits ? LENGTH_UNCOUNTABLE : LENGTH_UNKNOWN;
}
