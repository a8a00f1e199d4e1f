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

}  // namespace

bool FindHeaderValue(const wchar_t* headers, const char* name, wchar_t* value, size_t size)
{
    value[0] = 0;
    for (const wchar_t* line = headers; line && *line;) {
        const wchar_t* end = line;
        while (*end && *end != '\r' && *end != '\n')
            ++end;
        size_t matched = 0;
        while (name[matched] && line + matched < end && Lower(line[matched]) == Lower(name[matched]))
            ++matched;
        if (!name[matched] && line + matched < end && line[matched] == ':') {
            const wchar_t* first = line + matched + 1;
            const wchar_t* last = end;
            while (first < last && IsBlank(*first))
                ++first;
            while (last > first && IsBlank(last[-1]))
                --last;
            if (static_cast<size_t>(last - first) >= size)
                return false;
            size_t length = 0;
            for (; first < last; ++first)
                value[length++] = *first;
            value[length] = 0;
            return true;
        }
        line = end;
        while (*line == '\r' || *line == '\n')
            ++line;
    }
    return false;
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

AnswerUse JudgeAnswer(uint32_t status, const wchar_t* contentRange, uint32_t resumeAt, uint32_t total)
{
    if (status == 200 || status == 0)
        return ANSWER_WHOLE;
    if (resumeAt == 0 || (status != 206 && status != 416))
        return ANSWER_REFUSED;
    uint32_t first = 0, last = 0, answerTotal = 0;
    if (status == 206 && ParseContentRange(contentRange, first, last, answerTotal) && first == resumeAt &&
        last + 1 == total && answerTotal == total)
        return ANSWER_GOES_ON;
    return ANSWER_START_OVER;
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
