#include "framework/AfxString.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CString, StartsEmptyAndReadsNullAsEmpty)
{
    const CString empty;
    const CString fromNull(nullptr);
    for (const CString* s : {&empty, &fromNull}) {
        EXPECT_TRUE(s->IsEmpty());
        EXPECT_EQ(0, s->GetLength());
        EXPECT_STREQ("", *s);
    }
}

TEST(CString, CopiesAssignsAndAppends)
{
    CString a("version");
    CString b(a);
    a += " 1.4";
    EXPECT_STREQ("version 1.4", a);
    EXPECT_EQ(11, a.GetLength());
    EXPECT_STREQ("version", b);

    b = a;
    EXPECT_STREQ("version 1.4", b);
    b = "";
    EXPECT_TRUE(b.IsEmpty());
    b += nullptr;
    EXPECT_TRUE(b.IsEmpty());
    a.Empty();
    EXPECT_STREQ("", a);
    EXPECT_EQ(0, a.GetLength());
    EXPECT_TRUE(a.IsEmpty());
    // What follows an emptied text starts from nothing, not from its old length.
    a += "x";
    EXPECT_STREQ("x", a);
    EXPECT_EQ(1, a.GetLength());
}

TEST(CString, TakesItsOwnTextAsSource)
{
    CString s("abc");
    s = s;
    EXPECT_STREQ("abc", s);
    s += s;
    EXPECT_STREQ("abcabc", s);
    s = static_cast<const char*>(s) + 2;
    EXPECT_STREQ("cabc", s);
}

}  // namespace
