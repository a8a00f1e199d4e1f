// Two answers' heads and the manifest's pins as a hostile server writes them:
// nothing read past its text, every value found fits its buffer, a version
// is named only by a strong ETag or a date without any ETag, and an answer
// goes on only with exactly the rest of the file, of the version named, and a
// length is given only where it is a count.
//
// Input: two counts (resume offset, length), then the first answer's head
// up to a NUL byte, then the second answer's head.
#include "app/SetupPins.h"
#include "install/HttpAnswer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// The header's value whatever its length; false when absent.
bool FindWhole(const std::vector<wchar_t>& head, const char* name, std::vector<wchar_t>& value)
{
    value.assign(head.size() + 1, 0);
    return FindHeaderValue(head.data(), name, value.data(), value.size());
}

bool Is(const std::vector<wchar_t>& value, const wchar_t* text)
{
    return std::wcscmp(value.data(), text) == 0;
}

bool IsIdentity(const std::vector<wchar_t>& value)
{
    const char kIdentity[] = "identity";
    for (size_t i = 0; i < sizeof(kIdentity); ++i) {
        const wchar_t c = value[i];
        if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != kIdentity[i])
            return false;
    }
    return true;
}

// DQUOTE, then no blank, control character or quote, then DQUOTE: told
// by a road of its own, so that the check does not lean on the code it checks.
bool IsStrongTag(const wchar_t* tag, size_t length)
{
    if (length < 2)
        return false;
    const std::wstring inside(tag + 1, length - 2);
    return tag[0] == L'"' && tag[length - 1] == L'"' &&
           std::none_of(inside.begin(), inside.end(), [](wchar_t c) { return c <= L' ' || c == L'"'; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    uint32_t numbers[2];
    std::memcpy(numbers, data, sizeof(numbers));
    const uint32_t resumeAt = numbers[0] % 1000;
    const uint32_t total = numbers[1] % 1000 + resumeAt;
    data += 8;
    size -= 8;
    const uint8_t* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const uint8_t* end = data + size;
    std::vector<wchar_t> first(data, split ? split : end);
    first.push_back(0);
    std::vector<wchar_t> head(split ? split + 1 : end, end);
    head.push_back(0);

    wchar_t value[kHeaderValueSize];
    const size_t sizes[] = {1, 5, kHeaderValueSize};
    for (const size_t room : sizes) {
        if (FindHeaderValue(head.data(), "Content-Range", value, room) && std::wcslen(value) >= room)
            std::abort();
    }

    std::vector<wchar_t> etag, date, found;
    wchar_t validator[kHeaderValueSize];
    if (FindRangeValidator(first.data(), validator)) {
        const size_t length = std::wcslen(validator);
        const bool tagged = FindWhole(first, "ETag", etag);
        if (length == 0 || length >= kHeaderValueSize || std::wcspbrk(validator, L"\r\n"))
            std::abort();
        if (tagged ? !Is(etag, validator) || !IsStrongTag(validator, length)
                   : !FindWhole(first, "Last-Modified", date) || !Is(date, validator))
            std::abort();
    } else if (validator[0]) {
        std::abort();
    }

    const uint32_t statuses[] = {206, 416, 200, 404};
    const uint32_t status = statuses[(numbers[1] >> 16) % 4];
    const AnswerUse use = JudgeAnswer(status, head.data(), resumeAt, total, validator);
    uint32_t from = 0, last = 0, length = 0;
    if (use == ANSWER_GOES_ON) {
        std::vector<wchar_t> range, coding;
        const bool tagged = FindWhole(head, "ETag", etag);
        if (status != 206 || !validator[0] || !FindWhole(head, "Content-Range", range) ||
            !(ParseContentRange(range.data(), from, last, length) && from == resumeAt && last + 1 == total &&
              length == total && resumeAt != 0) ||
            !(tagged ? Is(etag, validator) : FindWhole(head, "Last-Modified", date) && Is(date, validator)) ||
            (FindWhole(head, "Content-Encoding", coding) && !IsIdentity(coding)))
            std::abort();
    }

    uint32_t announced = 0;
    const LengthClaim claim = ReadContentLength(head.data(), announced);
    if ((claim == LENGTH_GIVEN) != ParseByteCount(head.data(), length))
        std::abort();

    std::vector<char> text(data, data + size);
    text.push_back(0);
    SetupPins pins;
    ParseSetupPins(text.data(), text.data() + text.size() / 2, pins);
    if (pins.hasSha256 && !pins.sha256Malformed && std::strlen(text.data()) != 64)
        std::abort();
    return 0;
}
