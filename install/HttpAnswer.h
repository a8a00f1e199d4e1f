#pragma once

#include <cstddef>
#include <cstdint>

// What the download makes of an HTTP answer's head: which header says what,
// and whether an answer continues the bytes already on disk. No Windows
// here, so the rules are tested natively and fuzzed.

// Longest header value kept (ETag, Last-Modified, Content-Range), with its
// terminator; a longer one counts as absent.
const size_t kHeaderValueSize = 128;

// The value of the header `name` (ASCII, any case) in `headers`, the answer's
// head as the download service hands it over (lines separated by CR LF, a
// status line first), without surrounding blanks, into `value` of `size`
// characters. False, with `value` empty, when absent or too long to fit.
bool FindHeaderValue(const wchar_t* headers, const char* name, wchar_t* value, size_t size);

// A count of bytes in decimal: digits only, at least one, below 4 GiB (the
// product is a 32-bit program and its setup far smaller). False for
// anything else.
template <typename Char>
bool ParseByteCount(const Char* text, uint32_t& count)
{
    count = 0;
    if (!text || !*text)
        return false;
    for (; *text; ++text) {
        const uint32_t digit = static_cast<uint32_t>(*text - '0');
        if (*text < '0' || *text > '9' || count > (0xFFFFFFFFu - digit) / 10)
            return false;
        count = count * 10 + digit;
    }
    return true;
}

// "bytes FIRST-LAST/TOTAL" with FIRST <= LAST < TOTAL; false otherwise
// (an unknown total "*" included).
bool ParseContentRange(const wchar_t* value, uint32_t& first, uint32_t& last, uint32_t& total);

// The validator that names the version of a whole answer with head
// `headers` in the If-Range of a request for the rest of it, by RFC 9110's
// rules (13.1.5: never a weak entity tag, and a date only when the answer
// had no entity tag): its ETag when that is a strong one (in double quotes,
// with no blank, control character or quote inside); its Last-Modified when
// it has no ETag at all; otherwise none (a weak or malformed ETag, or one too
// long to keep: such a version is never gone on from, and never by its
// date). Copied into `validator` of kHeaderValueSize characters, empty when
// there is none; whether there is one.
bool FindRangeValidator(const wchar_t* headers, wchar_t* validator);

// What an answer does to the file being downloaded.
enum AnswerUse {
    ANSWER_WHOLE,       // the whole file from its first byte
    ANSWER_GOES_ON,     // the rest, to be appended
    ANSWER_START_OVER,  // no use, but a plain request may still get the file
    ANSWER_REFUSED,     // a failure: its body is never saved
};

// The use of an answer with HTTP `status` (0: not HTTP, a local file) and
// head `headers` to a request that asked for the bytes from `resumeAt` on
// (0: asked for the whole file) of a file of `total` bytes, with `validator`
// (from FindRangeValidator; never null) in its If-Range. Only a 206 goes on,
// and only when its Content-Range starts at `resumeAt` and runs to the end
// of the same total, its own validator (as FindRangeValidator finds it: its
// strong ETag, or its Last-Modified when it has no ETag) is exactly
// `validator`, which is not empty, and it has no Content-Encoding but
// identity: the rest of the version on disk, as its bytes are. Any other 206
// (a server or proxy that ignored If-Range, a compressed body) and a 416
// start over.
AnswerUse JudgeAnswer(uint32_t status, const wchar_t* headers, uint32_t resumeAt, uint32_t total,
                      const wchar_t* validator);

// What a Content-Length value says of the body.
enum LengthClaim {
    LENGTH_UNKNOWN,     // absent, or no count of bytes
    LENGTH_GIVEN,       // a count below 4 GiB
    LENGTH_UNCOUNTABLE  // digits of 4 GiB or more: more than the download can count
};

// Reads `value` (empty when absent); the count goes to `length` when given.
LengthClaim ReadContentLength(const wchar_t* value, uint32_t& length);
