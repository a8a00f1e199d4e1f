#include "install/SignatureVerdict.h"

#include <gtest/gtest.h>

namespace {

struct VerdictCase {
    uint32_t result;
    bool generic;
    bool early;
};

TEST(IsSignatureAccepted, AcceptsTrustedSignaturesAndExpiredOnesOnlyThroughTheGenericRequest)
{
    const VerdictCase cases[] = {
        {0x00000000, true, true},    // trusted
        {0x800B0101, true, false},   // certificate expired
        {0x800B0100, false, false},  // no signature
        {0x800B0004, false, false},  // subject not trusted
        {0x800B0111, false, false},  // explicitly distrusted
        {0x800B0102, false, false},  // validity periods do not nest
        {0x80092026, false, false},  // security settings
        {0x80096010, false, false},  // bad digest: a changed file
        {0x00000001, false, false},
        {0xFFFFFFFF, false, false},
    };
    for (const VerdictCase& c : cases) {
        EXPECT_EQ(c.generic, IsSignatureAccepted(SIGNATURE_REQUEST_GENERIC, c.result)) << std::hex << c.result;
        EXPECT_EQ(c.early, IsSignatureAccepted(SIGNATURE_REQUEST_EARLY, c.result)) << std::hex << c.result;
    }
}

struct PublisherCase {
    const char* configured;
    const char* signer;
    bool accepted;
};

TEST(IsPublisherAccepted, ComparesTheWholeNameExactly)
{
    const PublisherCase cases[] = {
        {"", "Anybody", true},
        {"", "", true},
        {nullptr, nullptr, true},
        {"ZELK Test Publisher", "ZELK Test Publisher", true},
        {"ZELK Test Publisher", "ZELK Test Publisher Ltd", false},
        {"ZELK Test Publisher", "Evil ZELK Test Publisher", false},
        {"ZELK Test Publisher", "ZELK", false},
        {"ZELK Test Publisher", "zelk test publisher", false},
        {"ZELK Test Publisher", "", false},
        {"ZELK Test Publisher", nullptr, false},
    };
    for (const PublisherCase& c : cases) {
        EXPECT_EQ(c.accepted, IsPublisherAccepted(c.configured, c.signer))
            << (c.configured ? c.configured : "(null)") << " / " << (c.signer ? c.signer : "(null)");
    }
}

}  // namespace
