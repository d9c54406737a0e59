#include "HostFixture.hpp"

namespace {

TEST(UniStringText, Utf8RoundTripKeepsNonAsciiAndSurrogatePairs)
{
    const std::string text = "Küche – 厨房 🏠 Ωmega";
    GS::UniString s(text.c_str());
    EXPECT_STREQ(s.ToCStr().Get(), text.c_str());
    // é is one unit, the house emoji a surrogate pair.
    GS::UniString e("é🏠");
    ASSERT_EQ(e.GetLength(), 3u);
    EXPECT_EQ(e[0], 0x00E9);
    EXPECT_EQ(e[1], 0xD83C);
    EXPECT_EQ(e[2], 0xDFE0);
}

TEST(UniStringText, Utf16InputAndOutputAreZeroTerminated)
{
    const GS::uchar_t units[] = {u'W', u'a', 0x00DF, u'e', u'r', 0};
    GS::UniString s(units);
    EXPECT_EQ(s.GetLength(), 5u);
    EXPECT_STREQ(s.ToCStr().Get(), "Waßer");
    GS::UStrHolder back = s.ToUStr();   // the holder keeps the units alive
    EXPECT_EQ(GS::ucslen(back.Get()), 5u);
    EXPECT_EQ(std::u16string(back.Get()), std::u16string(units));
}

TEST(UniStringText, MalformedUtf8BecomesReplacementCharacters)
{
    const char bad[] = {'a', char(0xC3), 'b', char(0xFF), char(0xE2), char(0x82), 0};   // cut sequences
    GS::UniString s(bad);
    EXPECT_EQ(s.GetLength(), 5u);
    EXPECT_EQ(s[0], u'a');
    EXPECT_EQ(s[1], 0xFFFD);
    EXPECT_EQ(s[2], u'b');
    EXPECT_EQ(s[3], 0xFFFD);
    // An overlong encoding of '/' is refused, not decoded.
    const char overlong[] = {char(0xC0), char(0xAF), 0};
    EXPECT_EQ(GS::UniString(overlong)[0], 0xFFFD);
}

TEST(UniStringText, LoneSurrogatesDoNotProduceInvalidUtf8)
{
    const GS::uchar_t units[] = {u'x', 0xD800, u'y', 0};
    EXPECT_STREQ(GS::UniString(units).ToCStr().Get(), "x\xEF\xBF\xBDy");
}

TEST(UniStringText, SubstringsOfToCStrAndToUStr)
{
    GS::UniString s("abcdef");
    EXPECT_STREQ(s.ToCStr(2, 3).Get(), "cde");
    EXPECT_STREQ(s.ToCStr(4).Get(), "ef");
    EXPECT_STREQ(s.ToCStr(10).Get(), "");
    EXPECT_EQ(std::u16string(s.ToUStr(1, 2).Get()), u"bc");
}

TEST(UniStringCase, LowerCaseCoversLatinGreekAndCyrillic)
{
    GS::UniString s("ÉCOLE Straße ΑΘΗΝΑ МОСКВА Łódź");
    EXPECT_STREQ(s.ToLowerCase().ToCStr().Get(), "école straße αθηνα москва łódź");
    // A copy: the original is untouched.
    EXPECT_STREQ(s.ToCStr().Get(), "ÉCOLE Straße ΑΘΗΝΑ МОСКВА Łódź");
    EXPECT_STREQ(GS::UniString("chair").ToUpperCase().ToCStr().Get(), "CHAIR");
}

TEST(UniStringSearch, ContainsIsASubstringTest)
{
    GS::UniString name("Dining Chair 01");
    EXPECT_TRUE(name.Contains(GS::UniString("Chair")));
    EXPECT_FALSE(name.Contains(GS::UniString("chair")));
    EXPECT_TRUE(name.ToLowerCase().Contains(GS::UniString("chair")));
    EXPECT_TRUE(name.Contains(GS::UniString("")));
    EXPECT_FALSE(GS::UniString("Ch").Contains(GS::UniString("Chair")));
    EXPECT_TRUE(name.BeginsWith(GS::UniString("Dining")));
    EXPECT_TRUE(name.EndsWith(GS::UniString("01")));
}

TEST(UcsCopy, UnboundedCopyIncludesTheTerminator)
{
    GS::uchar_t dst[8];
    std::fill(std::begin(dst), std::end(dst), GS::uchar_t(0x7777));
    GS::ucscpy(dst, u"abc");
    EXPECT_EQ(std::u16string(dst), u"abc");
    EXPECT_EQ(dst[4], 0x7777);
}

TEST(UcsCopy, BoundedCopyTruncatesAndTerminates)
{
    GS::uchar_t dst[4];
    EXPECT_EQ(GS::ucsncpy(dst, u"abcdef", 4), 3u);
    EXPECT_EQ(std::u16string(dst), u"abc");
    EXPECT_EQ(GS::ucsncpy(dst, u"ab", 4), 2u);
    EXPECT_EQ(std::u16string(dst), u"ab");
    EXPECT_EQ(GS::ucsncpy(dst, nullptr, 4), 0u);
    EXPECT_EQ(dst[0], 0);
}

TEST(UcsCopy, BoundedCopyNeverSplitsASurrogatePair)
{
    // "ab" + U+1F3E0: the pair would straddle the limit of 4 units (3 + terminator).
    const std::u16string src = u"ab\U0001F3E0";
    GS::uchar_t dst[4];
    EXPECT_EQ(GS::ucsncpy(dst, src.c_str(), 4), 2u);
    EXPECT_EQ(std::u16string(dst), u"ab");
    GS::uchar_t roomy[5];
    EXPECT_EQ(GS::ucsncpy(roomy, src.c_str(), 5), 4u);
    EXPECT_EQ(std::u16string(roomy), src);
}

TEST(UcsCopy, A255UnitNameFillsA256UnitField)
{
    std::u16string longName(300, u'x');
    GS::uchar_t field[256];
    EXPECT_EQ(GS::ucsncpy(field, longName.c_str(), 256), 255u);
    EXPECT_EQ(field[255], 0);
}

}  // namespace
