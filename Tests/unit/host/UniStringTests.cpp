#include "HostFixture.hpp"

namespace {

using Units = std::vector<GS::uchar_t>;

TEST(UniStringText, Utf8AndUtf16RoundTrips)
{
    const std::string text = "Küche – 厨房 🏠 Ωmega";
    EXPECT_STREQ(GS::UniString(text.c_str()).ToCStr().Get(), text.c_str());
    GS::UniString e("é🏠");   // é is one unit, the house emoji a surrogate pair
    ASSERT_EQ(e.GetLength(), 3u);
    EXPECT_EQ((Units{e[0], e[1], e[2]}), (Units{0x00E9, 0xD83C, 0xDFE0}));

    const GS::uchar_t units[] = {u'W', u'a', 0x00DF, u'e', u'r', 0};
    GS::UniString s(units);
    EXPECT_EQ(s.GetLength(), 5u);
    EXPECT_STREQ(s.ToCStr().Get(), "Waßer");
    GS::UStrHolder back = s.ToUStr();   // the holder keeps the units alive
    EXPECT_EQ(GS::ucslen(back.Get()), 5u);
    EXPECT_EQ(std::u16string(back.Get()), std::u16string(units));
}

TEST(UniStringText, MalformedInputBecomesReplacementCharacters)
{
    const char bad[] = {'a', char(0xC3), 'b', char(0xFF), char(0xE2), char(0x82), 0};   // cut sequences
    GS::UniString s(bad);
    ASSERT_EQ(s.GetLength(), 5u);
    EXPECT_EQ((Units{s[0], s[1], s[2], s[3]}), (Units{u'a', 0xFFFD, u'b', 0xFFFD}));
    const char overlong[] = {char(0xC0), char(0xAF), 0};   // '/' must not be decoded
    EXPECT_EQ(GS::UniString(overlong)[0], 0xFFFD);
    const GS::uchar_t lone[] = {u'x', 0xD800, u'y', 0};
    EXPECT_STREQ(GS::UniString(lone).ToCStr().Get(), "x\xEF\xBF\xBDy");
}

TEST(UniStringText, SubstringsCaseAndSearch)
{
    GS::UniString s("abcdef");
    EXPECT_STREQ(s.ToCStr(2, 3).Get(), "cde");
    EXPECT_STREQ(s.ToCStr(4).Get(), "ef");
    EXPECT_STREQ(s.ToCStr(10).Get(), "");
    EXPECT_EQ(std::u16string(s.ToUStr(1, 2).Get()), u"bc");

    GS::UniString upper("ÉCOLE Straße ΑΘΗΝΑ МОСКВА Łódź");
    EXPECT_STREQ(upper.ToLowerCase().ToCStr().Get(), "école straße αθηνα москва łódź");
    EXPECT_STREQ(upper.ToCStr().Get(), "ÉCOLE Straße ΑΘΗΝΑ МОСКВА Łódź") << "a copy is lowered";
    EXPECT_STREQ(GS::UniString("chair").ToUpperCase().ToCStr().Get(), "CHAIR");

    GS::UniString name("Dining Chair 01");
    EXPECT_TRUE(name.Contains(GS::UniString("Chair")));
    EXPECT_FALSE(name.Contains(GS::UniString("chair")));
    EXPECT_TRUE(name.ToLowerCase().Contains(GS::UniString("chair")));
    EXPECT_TRUE(name.Contains(GS::UniString("")));
    EXPECT_FALSE(GS::UniString("Ch").Contains(GS::UniString("Chair")));
    EXPECT_TRUE(name.BeginsWith(GS::UniString("Dining")));
    EXPECT_TRUE(name.EndsWith(GS::UniString("01")));
}

TEST(UcsCopy, CopiesTerminateTruncateAndNeverSplitASurrogatePair)
{
    GS::uchar_t dst[8];
    std::fill(std::begin(dst), std::end(dst), GS::uchar_t(0x7777));
    GS::ucscpy(dst, u"abc");
    EXPECT_EQ(std::u16string(dst), u"abc");
    EXPECT_EQ(dst[4], 0x7777);

    struct Case { std::u16string src; size_t size; std::u16string expected; };
    const std::u16string house = u"ab\U0001F3E0";   // the pair would straddle a limit of 4 units
    for (const Case& c : std::vector<Case>{{u"abcdef", 4, u"abc"}, {u"ab", 4, u"ab"}, {house, 4, u"ab"}, {house, 5, house},
                                           {std::u16string(300, u'x'), 256, std::u16string(255, u'x')}}) {
        std::vector<GS::uchar_t> field(c.size, 0x7777);
        ASSERT_EQ(GS::ucsncpy(field.data(), c.src.c_str(), c.size), c.expected.size());
        ASSERT_EQ(field[c.expected.size()], 0) << "terminated";
        EXPECT_EQ(std::u16string(field.data()), c.expected);
    }
    EXPECT_EQ(GS::ucsncpy(dst, nullptr, 4), 0u);
    EXPECT_EQ(dst[0], 0);
}

}  // namespace
