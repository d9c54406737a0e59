// The GS:: basics: GUID texts and generation, Unicode strings and fixed-field copies.
#include <set>

#include "QuillmereTest.hpp"

namespace {

using Units = std::vector<GS::uchar_t>;

TEST(Guids, TextInEitherCaseRecordOrderMalformedTextAndGeneration)
{
    const char* text = "3F2504E0-4F89-11D3-9A0C-0305E82C3301";
    GS::Guid guid(text);
    EXPECT_EQ(guid.ToString(), text);
    EXPECT_STREQ(guid.ToUniString().ToCStr().Get(), text);
    EXPECT_EQ(GS::Guid("3f2504e0-4f89-11d3-9a0c-0305e82c3301").ToString(), text);
    for (const char* bad : {"", "3F2504E0-4F89-11D3-9A0C-0305E82C330", "3F2504E04F8911D39A0C0305E82C3301",
                            "3G2504E0-4F89-11D3-9A0C-0305E82C3301", "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}"})
        EXPECT_TRUE(GS::Guid(bad).IsNull() && GSGuid2APIGuid(GS::Guid(bad)) == APINULLGuid) << bad;
    // A host string is parsed whole: trailing bytes after the 36 characters, a NUL among them,
    // make it malformed rather than cut short.
    const std::string whole = text;
    EXPECT_EQ(GS::Guid(GS::UniString(whole)), guid);
    for (const std::string& trailing :
         {whole + std::string(1, '\0'), whole + std::string("\0anything", 9), whole + " ", std::string("\0", 1) + whole,
          whole.substr(0, 20) + std::string(1, '\0') + whole.substr(21)})
        EXPECT_TRUE(GS::Guid(GS::UniString(trailing)).IsNull()) << trailing.size() << " bytes";

    // Fresh GUIDs are distinct and keep their bytes through the conversions.
    std::set<std::string> distinct;
    for (int i = 0; i < 1000; ++i) {
        GS::Guid g;
        g.Generate();
        const API_Guid api = GSGuid2APIGuid(g);
        EXPECT_TRUE(!g.IsNull() && APIGuid2GSGuid(api) == g && std::memcmp(&api, g.bytes, 16) == 0);
        distinct.insert(g.ToString());
    }
    EXPECT_EQ(distinct.size(), 1000u);

    // The host application draws each run's GUIDs from a random source; tests fix the seed.
    const auto firstGuid = [](HostTesting::GuidSeed seed) {
        HostTesting::ResetProject(seed);
        return GS::Guid(HostTesting::AddWall(0, 0, 1, 0)).ToString();
    };
    EXPECT_NE(firstGuid(HostTesting::GuidSeed::Random), firstGuid(HostTesting::GuidSeed::Random));
    EXPECT_EQ(firstGuid(HostTesting::GuidSeed::Fixed), firstGuid(HostTesting::GuidSeed::Fixed));
}

TEST(UniStrings, ConversionsSubstringsCaseSearchAndFixedFieldCopies)
{
    // UTF-8 in, UTF-16 units and UTF-8 out: cut or overlong sequences and lone surrogates become U+FFFD.
    const GS::uchar_t lone[] = {u'x', 0xD800, u'y', 0}, sharp[] = {u'W', u'a', 0x00DF, u'e', u'r', 0};
    const struct {
        GS::UniString text;
        Units units;
        std::string utf8;
    } conversions[] = {
        {GS::UniString("é🏠"), {0x00E9, 0xD83C, 0xDFE0}, "é🏠"},
        {GS::UniString(sharp), {u'W', u'a', 0x00DF, u'e', u'r'}, "Waßer"},
        {GS::UniString("a\xC3"
                       "b\xFF\xE2\x82"),
         {u'a', 0xFFFD, u'b', 0xFFFD, 0xFFFD},
         "a\uFFFDb\uFFFD\uFFFD"},
        {GS::UniString("\xC0\xAF"), {0xFFFD, 0xFFFD}, "\uFFFD\uFFFD"},  // '/' must not be decoded
        {GS::UniString(lone), {u'x', 0xD800, u'y'}, "x\uFFFDy"},
    };
    for (const auto& c : conversions) {
        Units units;
        for (UInt32 i = 0; i < c.text.GetLength(); ++i) units.push_back(c.text[i]);
        EXPECT_EQ(units, c.units) << c.utf8;
        EXPECT_STREQ(c.text.ToCStr().Get(), c.utf8.c_str());
    }
    GS::UniString upper("ÉCOLE Straße ΑΘΗΝΑ МОСКВА Łódź");
    EXPECT_STREQ(upper.ToLowerCase().ToCStr().Get(), "école straße αθηνα москва łódź");
    EXPECT_STREQ(upper.ToCStr().Get(), "ÉCOLE Straße ΑΘΗΝΑ МОСКВА Łódź") << "a copy is lowered";

    // Copies into fixed fields terminate, truncate and never split a surrogate pair.
    struct Case {
        std::u16string src;
        size_t size;
        std::u16string expected;
    };
    const std::u16string house = u"ab\U0001F3E0";  // the pair would straddle a limit of 4 units
    for (const Case& c : std::vector<Case>{{u"abcdef", 4, u"abc"},
                                           {u"ab", 4, u"ab"},
                                           {house, 4, u"ab"},
                                           {house, 5, house},
                                           {std::u16string(300, u'x'), 256, std::u16string(255, u'x')}}) {
        std::vector<GS::uchar_t> field(c.size, 0x7777);
        ASSERT_EQ(GS::ucsncpy(field.data(), c.src.c_str(), c.size), c.expected.size());
        ASSERT_EQ(field[c.expected.size()], 0) << "terminated";
        EXPECT_EQ(std::u16string(field.data()), c.expected);
    }
}

}  // namespace
