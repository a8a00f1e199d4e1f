// An answer's head and the manifest's pins as a hostile server writes them:
// nothing read past its text, every value found fits its buffer, an answer
// goes on only with exactly the rest of the file, and a length is given
// only where it is a count.
#include "app/SetupPins.h"
#include "install/HttpAnswer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

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
    std::vector<wchar_t> head(data, data + size);
    head.push_back(0);

    wchar_t value[kHeaderValueSize];
    const size_t sizes[] = {1, 5, kHeaderValueSize};
    for (const size_t room : sizes) {
        if (FindHeaderValue(head.data(), "Content-Range", value, room) && std::wcslen(value) >= room)
            std::abort();
    }
    const uint32_t status = size > 0 && data[0] % 2 ? 206 : 416;
    const AnswerUse use = JudgeAnswer(status, head.data(), resumeAt, total);
    uint32_t first = 0, last = 0, length = 0;
    if (use == ANSWER_GOES_ON &&
        !(ParseContentRange(head.data(), first, last, length) && first == resumeAt && last + 1 == total &&
          length == total && resumeAt != 0))
        std::abort();

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
