#include "app/SetupPins.h"
#include "install/HttpAnswer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const wchar_t kHead[] =
    L"HTTP/1.1 206 Partial Content\r\n"
    L"content-range:  bytes 100-199/200 \r\n"
    L"ETag: \"v1\"\r\n"
    L"X-Content-Length: 7\r\n"
    L"Content-Length:\t100\r\n\r\n";

TEST(HttpAnswer, FindsAHeaderByItsWholeNameInAnyCaseWithoutItsBlanks)
{
    const struct {
        const char* name;
        size_t size;
        bool found;
        const wchar_t* value;
    } cases[] = {
        {"Content-Range", 128, true, L"bytes 100-199/200"},
        {"Content-Length", 128, true, L"100"},
        {"etag", 128, true, L"\"v1\""},
        {"ETag", 5, true, L"\"v1\""},   // four characters and the terminator
        {"ETag", 4, false, L""},        // one too few: absent rather than cut
        {"Length", 128, false, L""},    // a name's tail is not the name
        {"Content", 128, false, L""},
        {"Last-Modified", 128, false, L""},
    };
    for (const auto& c : cases) {
        wchar_t value[128] = L"stale";
        EXPECT_EQ(c.found, FindHeaderValue(kHead, c.name, value, c.size)) << c.name;
        EXPECT_EQ(std::wstring(c.value), value) << c.name;
    }
    wchar_t value[8] = L"stale";
    EXPECT_FALSE(FindHeaderValue(nullptr, "ETag", value, 8));
    EXPECT_FALSE(FindHeaderValue(L"ETag", "ETag", value, 8)) << "a name without a colon";
}

TEST(HttpAnswer, ReadsCountsAndRangesOnlyWhenWellFormed)
{
    const struct {
        const char* text;
        bool read;
        uint32_t count;
    } counts[] = {
        {"0", true, 0},           {"4294967295", true, 4294967295u}, {"4294967296", false, 0},
        {"00012", true, 12},      {"", false, 0},                    {"-1", false, 0},
        {"+1", false, 0},         {"1 ", false, 0},                  {"12a", false, 0},
        {"99999999999999999999", false, 0},
    };
    for (const auto& c : counts) {
        uint32_t count = 7;
        EXPECT_EQ(c.read, ParseByteCount(c.text, count)) << c.text;
        if (c.read)
            EXPECT_EQ(c.count, count) << c.text;
    }
    const struct {
        const wchar_t* text;
        bool read;
        uint32_t first, last, total;
    } ranges[] = {
        {L"bytes 100-199/200", true, 100, 199, 200},
        {L"BYTES 0-0/1", true, 0, 0, 1},
        {L"bytes 100-199/*", false},
        {L"bytes */200", false},
        {L"bytes 200-199/300", false},  // first after last
        {L"bytes 100-200/200", false},  // last at the total
        {L"bytes 100-199/200/3", false},
        {L"bytes100-199/200", false},
        {L"items 100-199/200", false},
        {L"bytes 100-199", false},
        {L"bytes 1-4294967296/4294967297", false},
    };
    for (const auto& r : ranges) {
        uint32_t first = 0, last = 0, total = 0;
        EXPECT_EQ(r.read, ParseContentRange(r.text, first, last, total)) << r.text;
        if (r.read) {
            EXPECT_EQ(r.first, first);
            EXPECT_EQ(r.last, last);
            EXPECT_EQ(r.total, total);
        }
    }
}

const wchar_t kDate[] = L"Tue, 09 Dec 2025 10:00:00 GMT";

// RFC 9110 13.1.5: never a weak entity tag in If-Range, and a date only where
// there is no entity tag at all.
TEST(HttpAnswer, NamesAVersionOnlyByAStrongETagOrADateWithoutAnyETag)
{
    // The longest that fits with its terminator, and one character more.
    const std::wstring fits = L"\"" + std::wstring(kHeaderValueSize - 3, L'a') + L"\"";
    const std::wstring tooLong = L"\"" + std::wstring(kHeaderValueSize - 2, L'a') + L"\"";
    const struct {
        std::wstring head;
        const wchar_t* validator;
    } cases[] = {
        {L"ETag: \"v1\"\r\nLast-Modified: " + std::wstring(kDate), L"\"v1\""},  // the strong ETag chosen
        {L"Last-Modified: " + std::wstring(kDate) + L"\r\nETag:  \"v1\" ", L"\"v1\""},
        {L"ETag: W/\"v1\"\r\nLast-Modified: " + std::wstring(kDate), L""},       // weak: none, date or not
        {L"ETag: w/\"v1\"", L""},
        {L"Last-Modified: " + std::wstring(kDate), kDate},                      // no ETag at all
        {L"Content-Length: 5", L""},
        {L"Last-Modified:", L""},
        {L"ETag: v1\r\nLast-Modified: " + std::wstring(kDate), L""},            // malformed: no date instead
        {L"ETag:\r\nLast-Modified: " + std::wstring(kDate), L""},
        {L"ETag: \"v1\r\nLast-Modified: " + std::wstring(kDate), L""},
        {L"ETag: \"v 1\"", L""},
        {L"ETag: \"v\"1\"", L""},
        {L"ETag: \"\"", L"\"\""},
        {L"ETag: \"", L""},
        {L"ETag: \"caf\xE9!#~\"", L"\"caf\xE9!#~\""},                          // obs-text and the edges
        {L"ETag: \"v\x01\"", L""},
        {L"ETag: \"v\t1\"", L""},
        {L"ETag: " + fits + L"\r\nLast-Modified: " + std::wstring(kDate), fits.c_str()},
        {L"ETag: " + tooLong + L"\r\nLast-Modified: " + std::wstring(kDate), L""},  // too long to keep: none
        {L"Last-Modified: " + std::wstring(kHeaderValueSize, L'1'), L""},
    };
    for (const auto& c : cases) {
        const std::wstring head = L"HTTP/1.1 200 OK\r\n" + c.head + L"\r\n\r\n";
        wchar_t validator[kHeaderValueSize] = L"stale";
        EXPECT_EQ(c.validator[0] != 0, FindRangeValidator(head.c_str(), validator)) << head.size();
        EXPECT_EQ(std::wstring(c.validator), validator) << head.size();
    }
}

TEST(HttpAnswer, GoesOnOnlyWithTheRestOfTheSameVersion)
{
    const wchar_t kV1[] = L"ETag: \"v1\"\r\n";
    const std::wstring date = L"Last-Modified: " + std::wstring(kDate) + L"\r\n";
    const struct {
        uint32_t status;
        const wchar_t* range;
        std::wstring version;  // the answer's ETag, Last-Modified and Content-Encoding lines
        uint32_t resumeAt, total;
        const wchar_t* validator;
        AnswerUse use;
    } cases[] = {
        {200, L"", kV1, 0, 0, L"", ANSWER_WHOLE},
        {0, L"", L"", 0, 0, L"", ANSWER_WHOLE},                           // a local file
        {200, L"", L"ETag: \"v2\"\r\n", 100, 200, L"\"v1\"", ANSWER_WHOLE},  // ranges ignored, or another version
        {206, L"bytes 100-199/200", kV1, 100, 200, L"\"v1\"", ANSWER_GOES_ON},
        {206, L"bytes 100-199/200", kV1 + date, 100, 200, L"\"v1\"", ANSWER_GOES_ON},
        {206, L"bytes 100-199/200", date, 100, 200, kDate, ANSWER_GOES_ON},  // dated, never tagged
        {206, L"bytes 100-199/200", kV1 + std::wstring(L"Content-Encoding: Identity\r\n"), 100, 200, L"\"v1\"",
         ANSWER_GOES_ON},
        // Another version: a server or proxy that ignored If-Range.
        {206, L"bytes 100-199/200", L"ETag: \"v2\"\r\n", 100, 200, L"\"v1\"", ANSWER_START_OVER},
        {206, L"bytes 100-199/200", L"ETag: \"V1\"\r\n", 100, 200, L"\"v1\"", ANSWER_START_OVER},
        {206, L"bytes 100-199/200", L"ETag: W/\"v1\"\r\n", 100, 200, L"\"v1\"", ANSWER_START_OVER},
        {206, L"bytes 100-199/200", date, 100, 200, L"\"v1\"", ANSWER_START_OVER},  // an ETag was sent
        {206, L"bytes 100-199/200", kV1 + date, 100, 200, kDate, ANSWER_START_OVER},  // tagged now
        {206, L"bytes 100-199/200", L"Last-Modified: Tue, 09 Dec 2025 10:00:01 GMT\r\n", 100, 200, kDate,
         ANSWER_START_OVER},
        {206, L"bytes 100-199/200", L"Last-Modified: Tue, 09 Dec 2025 10:00:00 GMT+0100\r\n", 100, 200, kDate,
         ANSWER_START_OVER},
        {206, L"bytes 100-199/200", L"", 100, 200, L"\"v1\"", ANSWER_START_OVER},
        {206, L"bytes 100-199/200", kV1, 100, 200, L"", ANSWER_START_OVER},  // nothing sent, nothing matches
        {206, L"bytes 100-199/200", L"ETag: \"\"\r\n", 100, 200, L"", ANSWER_START_OVER},
        {206, L"bytes 100-199/200", L"Last-Modified:\r\n", 100, 200, L"", ANSWER_START_OVER},
        // The version's bytes, not a coding of them.
        {206, L"bytes 100-199/200", kV1 + std::wstring(L"Content-Encoding: gzip\r\n"), 100, 200, L"\"v1\"",
         ANSWER_START_OVER},
        {206, L"bytes 100-199/200", kV1 + std::wstring(L"Content-Encoding: identity, gzip\r\n"), 100, 200,
         L"\"v1\"", ANSWER_START_OVER},
        {206, L"bytes 100-199/200", kV1 + std::wstring(L"Content-Encoding:\r\n"), 100, 200, L"\"v1\"",
         ANSWER_START_OVER},
        {206, L"bytes 101-199/200", kV1, 100, 200, L"\"v1\"", ANSWER_START_OVER},  // not where the file stops
        {206, L"bytes 99-199/200", kV1, 100, 200, L"\"v1\"", ANSWER_START_OVER},
        {206, L"bytes 100-198/200", kV1, 100, 200, L"\"v1\"", ANSWER_START_OVER},  // not to the end
        {206, L"bytes 100-249/250", kV1, 100, 200, L"\"v1\"", ANSWER_START_OVER},  // another length
        {206, L"", kV1, 100, 200, L"\"v1\"", ANSWER_START_OVER},
        {416, L"bytes */200", kV1, 100, 200, L"\"v1\"", ANSWER_START_OVER},
        {206, L"bytes 0-199/200", kV1, 0, 0, L"", ANSWER_REFUSED},        // a range nobody asked for
        {416, L"", L"", 0, 0, L"", ANSWER_REFUSED},
        {404, L"", L"", 0, 0, L"", ANSWER_REFUSED},
        {404, L"", kV1, 100, 200, L"\"v1\"", ANSWER_REFUSED},
        {500, L"", L"", 0, 0, L"", ANSWER_REFUSED},
        {304, L"", L"", 0, 0, L"", ANSWER_REFUSED},
        {201, L"", L"", 0, 0, L"", ANSWER_REFUSED},
    };
    for (const auto& c : cases) {
        const std::wstring head = L"HTTP/1.1 " + std::to_wstring(c.status) + L" x\r\n" +
                                  (c.range[0] ? L"Content-Range: " + std::wstring(c.range) + L"\r\n" : L"") +
                                  c.version + L"Content-Length: 100\r\n\r\n";
        EXPECT_EQ(c.use, JudgeAnswer(c.status, head.c_str(), c.resumeAt, c.total, c.validator))
            << c.status << " " << c.range << " " << c.version.size() << " " << c.validator;
    }
}

TEST(SetupPins, ReadsADigestOfSixtyFourHexDigitsAndADecimalSize)
{
    const std::string digest = "00112233445566778899aabbccddeeffFFEEDDCCBBAA99887766554433221100";
    const struct {
        std::string sha256;
        const char* size;
        bool hasSha256, sha256Malformed, hasSize, sizeMalformed;
        uint32_t sizeValue;
    } cases[] = {
        {"", "", false, false, false, false, 0},
        {digest, "4096", true, false, true, false, 4096},
        {digest.substr(0, 63), "", true, true, false, false, 0},
        {digest + "0", "", true, true, false, false, 0},
        {digest.substr(0, 63) + "g", "", true, true, false, false, 0},
        {std::string(71, 'a'), "", true, true, false, false, 0},
        {"", "12kB", false, false, true, true, 0},
        {"", "-5", false, false, true, true, 0},
        {"", "4294967296", false, false, true, true, 0},
    };
    for (const auto& c : cases) {
        SetupPins pins;
        pins.sha256[0] = 0x5A;
        ParseSetupPins(c.sha256.c_str(), c.size, pins);
        EXPECT_EQ(c.hasSha256, pins.hasSha256) << c.sha256;
        EXPECT_EQ(c.sha256Malformed, pins.sha256Malformed) << c.sha256;
        EXPECT_EQ(c.hasSize, pins.hasSize) << c.size;
        EXPECT_EQ(c.sizeMalformed, pins.sizeMalformed) << c.size;
        if (c.hasSize && !c.sizeMalformed)
            EXPECT_EQ(c.sizeValue, pins.size);
        EXPECT_EQ(c.sha256.substr(0, sizeof(pins.sha256Text) - 1), pins.sha256Text);
    }
    SetupPins pins;
    ParseSetupPins(digest.c_str(), "", pins);
    char text[65];
    FormatSha256(pins.sha256, text);
    EXPECT_EQ("00112233445566778899aabbccddeeffffeeddccbbaa99887766554433221100", std::string(text))
        << "either case read, lowercase written";
}

// A length beyond what 32 bits count is told from no length at all: the
// first ends a download at once, the second leaves its end to the transfer.
TEST(ReadContentLength, ToldFromNoLength)
{
    const struct {
        const wchar_t* value;
        LengthClaim claim;
        uint32_t length;
    } cases[] = {
        {L"0", LENGTH_GIVEN, 0},
        {L"65536", LENGTH_GIVEN, 65536},
        {L"4294967295", LENGTH_GIVEN, 4294967295u},
        {L"4294967296", LENGTH_UNCOUNTABLE, 0},
        {L"1000000000000", LENGTH_UNCOUNTABLE, 0},
        {L"99999999999999999999999999999999", LENGTH_UNCOUNTABLE, 0},
        {L"", LENGTH_UNKNOWN, 0},
        {L"-1", LENGTH_UNKNOWN, 0},
        {L"12 34", LENGTH_UNKNOWN, 0},
        {L"0x10", LENGTH_UNKNOWN, 0},
        {L"4294967296x", LENGTH_UNKNOWN, 0},
    };
    for (const auto& c : cases) {
        uint32_t length = 7;
        EXPECT_EQ(c.claim, ReadContentLength(c.value, length)) << c.value;
        if (c.claim == LENGTH_GIVEN)
            EXPECT_EQ(c.length, length) << c.value;
    }
}

}  // namespace
