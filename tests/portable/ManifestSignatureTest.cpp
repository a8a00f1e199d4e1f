#include "app/ManifestSignature.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const std::string kBody = "[version]\nversion=1.4.14.816\n[download]\naddress=https://h/s.exe\n";
const std::string kBodyCrLf = "[version]\r\nversion=1.4.14.816\r\n";
const std::string kNul(1, '\0');

std::string Hex(const uint8_t* bytes, size_t length)
{
    const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

struct SignatureCase {
    const char* label;
    std::string text;
    ManifestSignatureShape shape;
    size_t signedLength;    // SIGNED only
    std::string signature;  // SIGNED: the bytes as lowercase hex; MALFORMED: a word of the cause
};

TEST(ManifestSignature, TakesOnlyALastWellFormedSectionAndNamesWhatIsWrong)
{
    const SignatureCase cases[] = {
        {"LF", kBody + "[signature]\nrsa=0a1B\n", MANIFEST_SIGNED, kBody.size(), "0a1b"},
        {"CR LF", kBodyCrLf + "[signature]\r\nrsa=ff00\r\n", MANIFEST_SIGNED, kBodyCrLf.size(), "ff00"},
        {"no line end at the end", kBody + "[signature]\nrsa=00", MANIFEST_SIGNED, kBody.size(), "00"},
        {"other case, blanks", kBody + " \t[SIGNATURE]\f\v \n\tRSA \t= \tAbCd\n", MANIFEST_SIGNED, kBody.size(),
         "abcd"},
        {"only the section", "[signature]\nrsa=12\n", MANIFEST_SIGNED, 0, "12"},
        {"1024 digits", "[signature]\nrsa=" + std::string(1024, 'F'), MANIFEST_SIGNED, 0, std::string(1024, 'f')},
        {"NUL bytes signed", "a=" + kNul + "b\n" + kNul + "\n[signature]\nrsa=12", MANIFEST_SIGNED, 7, "12"},
        {"huge signed line", std::string(1 << 20, '[') + "\n[signature]\nrsa=12", MANIFEST_SIGNED, (1 << 20) + 1,
         "12"},
        {"lone CR signed", "a=1\rb=2\n[signature]\nrsa=12", MANIFEST_SIGNED, 8, "12"},
        {"other sections", "[signatures]\n[signature.x]\n[sig]\n[signature]\nrsa=34", MANIFEST_SIGNED, 33, "34"},

        {"empty", "", MANIFEST_UNSIGNED, 0, ""},
        {"plain", kBody, MANIFEST_UNSIGNED, 0, ""},
        {"key without section", kBody + "rsa=12\n", MANIFEST_UNSIGNED, 0, ""},
        {"unclosed", kBody + "[signature\nrsa=12\n", MANIFEST_UNSIGNED, 0, ""},
        {"NUL before", kBody + kNul + "[signature]\nrsa=12\n", MANIFEST_UNSIGNED, 0, ""},

        {"two sections", kBody + "[signature]\nrsa=12\n[signature]\nrsa=12\n", MANIFEST_MALFORMED, 0, "more than one"},
        {"second in another case", "[signature]\nrsa=12\n[Signature]", MANIFEST_MALFORMED, 0, "more than one"},
        {"signed section first", "[signature]\nrsa=12\n" + kBody, MANIFEST_MALFORMED, 0, "more after"},
        {"empty line after", kBody + "[signature]\nrsa=12\n\n", MANIFEST_MALFORMED, 0, "more after"},
        {"empty CR LF line after", kBody + "[signature]\r\nrsa=12\r\n\r\n", MANIFEST_MALFORMED, 0, "more after"},
        {"blank line after", kBody + "[signature]\nrsa=12\n ", MANIFEST_MALFORMED, 0, "more after"},
        {"blank after value", kBody + "[signature]\nrsa=12 \n", MANIFEST_MALFORMED, 0, "blank"},
        {"blank inside", kBody + "[signature]\nrsa=12 34\n", MANIFEST_MALFORMED, 0, "blank"},
        {"comment after value", kBody + "[signature]\nrsa=12;x\n", MANIFEST_MALFORMED, 0, "not a hex"},
        {"non-hex", kBody + "[signature]\nrsa=12g4\n", MANIFEST_MALFORMED, 0, "not a hex"},
        {"NUL in value", kBody + "[signature]\nrsa=12" + kNul + "34", MANIFEST_MALFORMED, 0, "not a hex"},
        {"0 digits", kBody + "[signature]\nrsa=\n", MANIFEST_MALFORMED, 0, "no hex"},
        {"0 digits, blanks", kBody + "[signature]\nrsa= \t", MANIFEST_MALFORMED, 0, "no hex"},
        {"1 digit", kBody + "[signature]\nrsa=1\n", MANIFEST_MALFORMED, 0, "odd"},
        {"1025 digits", "[signature]\nrsa=" + std::string(1025, '1'), MANIFEST_MALFORMED, 0, "1024"},
        {"1026 digits", "[signature]\nrsa=" + std::string(1026, '1'), MANIFEST_MALFORMED, 0, "1024"},
        {"huge value", "[signature]\nrsa=" + std::string(1 << 20, 'a'), MANIFEST_MALFORMED, 0, "1024"},
        {"section at the end", kBody + "[signature]", MANIFEST_MALFORMED, 0, "no rsa line"},
        {"section and line end", kBody + "[signature]\n", MANIFEST_MALFORMED, 0, "no rsa line"},
        {"empty line between", kBody + "[signature]\n\nrsa=12", MANIFEST_MALFORMED, 0, "not its rsa"},
        {"longer key", kBody + "[signature]\nrsa2=12", MANIFEST_MALFORMED, 0, "not its rsa"},
        {"no equals sign", kBody + "[signature]\nrsa 12", MANIFEST_MALFORMED, 0, "not its rsa"},
        {"CR only", "a=1\r[signature]\rrsa=12\r", MANIFEST_MALFORMED, 0, "lone CR"},
        {"CR before section", "a=1\r[signature]\r\nrsa=12", MANIFEST_MALFORMED, 0, "lone CR"},
        {"CR after section", "a=1\n[signature]\rrsa=12", MANIFEST_MALFORMED, 0, "lone CR"},
        {"CR after value", "a=1\n[signature]\nrsa=12\r", MANIFEST_MALFORMED, 0, "lone CR"},
        {"CR hides a second", "[signature]\nrsa=12\r[signature]", MANIFEST_MALFORMED, 0, "more than one"},
        {"blank after [", kBody + "[ signature]\nrsa=12", MANIFEST_MALFORMED, 0, "other text"},
        {"blank before ]", kBody + "[signature\t]\nrsa=12", MANIFEST_MALFORMED, 0, "other text"},
        {"text after bracket", kBody + "[signature] ; note\nrsa=12", MANIFEST_MALFORMED, 0, "other text"},
        {"NUL after bracket", kBody + "[signature]" + kNul + "\nrsa=12", MANIFEST_MALFORMED, 0, "other text"},
        {"lookalike signed", "[Signature]x\n[signature]\nrsa=12", MANIFEST_MALFORMED, 0, "other text"},
    };
    for (const SignatureCase& c : cases) {
        ManifestSignature found;
        found.signedLength = 1;
        found.signatureLength = 1;
        const char* why = nullptr;
        const ManifestSignatureShape shape = FindManifestSignature(c.text.data(), c.text.size(), found, why);
        EXPECT_EQ(c.shape, shape) << c.label << ": " << (why ? why : "(null)");
        ASSERT_NE(nullptr, why) << c.label;
        switch (c.shape) {
        case MANIFEST_SIGNED:
            EXPECT_EQ(c.signedLength, found.signedLength) << c.label;
            EXPECT_EQ(c.signature, Hex(found.signature, found.signatureLength)) << c.label;
            break;
        case MANIFEST_UNSIGNED:
            EXPECT_EQ(c.text.size(), found.signedLength) << c.label;
            EXPECT_EQ(0u, found.signatureLength) << c.label;
            break;
        case MANIFEST_MALFORMED:
            EXPECT_NE(nullptr, std::strstr(why, c.signature.c_str())) << c.label << ": " << why;
            EXPECT_EQ(0u, found.signedLength + found.signatureLength) << c.label;
            break;
        }
    }
    ManifestSignature found;
    const char* why = nullptr;
    EXPECT_EQ(MANIFEST_UNSIGNED, FindManifestSignature(nullptr, 0, found, why)) << "no text at all";
}

}  // namespace
