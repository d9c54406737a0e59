// The GS:: basics: GUIDs, Unicode strings, memory handles and file locations.
#include <memory>
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
    EXPECT_EQ(GS::Guid("3f2504e0-4f89-11d3-9a0c-0305e82c3301"), guid);
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

    // Fresh GUIDs are distinct, keep their bytes through the conversions and repeat after a reset.
    auto generate = [](int n) {
        std::vector<GS::Guid> out(static_cast<size_t>(n));
        for (GS::Guid& g : out) {
            g.Generate();
            EXPECT_FALSE(g.IsNull());
            API_Guid api = GSGuid2APIGuid(g);
            EXPECT_EQ(APIGuid2GSGuid(api), g);
            EXPECT_EQ(std::memcmp(&api, g.bytes, 16), 0);
        }
        return out;
    };
    HostTesting::ResetProject();
    const std::vector<GS::Guid> first = generate(1000);
    std::set<std::string> distinct;
    for (const GS::Guid& g : first) distinct.insert(g.ToString());
    EXPECT_EQ(distinct.size(), 1000u);
    HostTesting::ResetProject();
    EXPECT_EQ(generate(3), std::vector<GS::Guid>(first.begin(), first.begin() + 3));
}

TEST(UniStrings, ConversionsSubstringsCaseSearchAndFixedFieldCopies)
{
    const std::string text = "Küche – 厨房 🏠 Ωmega";
    EXPECT_STREQ(GS::UniString(text.c_str()).ToCStr().Get(), text.c_str());
    GS::UniString e("é🏠");  // é is one unit, the house emoji a surrogate pair
    ASSERT_EQ(e.GetLength(), 3u);
    EXPECT_EQ((Units{e[0], e[1], e[2]}), (Units{0x00E9, 0xD83C, 0xDFE0}));
    const GS::uchar_t units[] = {u'W', u'a', 0x00DF, u'e', u'r', 0};
    GS::UniString s(units);
    EXPECT_EQ(s.GetLength(), 5u);
    EXPECT_STREQ(s.ToCStr().Get(), "Waßer");
    const char bad[] = {'a', char(0xC3), 'b', char(0xFF), char(0xE2), char(0x82), 0};  // cut sequences
    GS::UniString b(bad);
    ASSERT_EQ(b.GetLength(), 5u);
    EXPECT_EQ((Units{b[0], b[1], b[2], b[3]}), (Units{u'a', 0xFFFD, u'b', 0xFFFD}));
    const char overlong[] = {char(0xC0), char(0xAF), 0};  // '/' must not be decoded
    EXPECT_EQ(GS::UniString(overlong)[0], 0xFFFD);
    const GS::uchar_t lone[] = {u'x', 0xD800, u'y', 0};
    EXPECT_STREQ(GS::UniString(lone).ToCStr().Get(), "x\xEF\xBF\xBDy");
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

class MemoryHandles : public HostTest {};

TEST_F(MemoryHandles, HandlesAreCountedSizedClearedFailedOnRequestAndFreedOnce)
{
    const Int64 before = HostTesting::LiveHandleCount();
    GSHandle h = BMAllocateHandle(64, ALLOCATE_CLEAR, 0);
    GSPtr p = BMAllocatePtr(24, ALLOCATE_CLEAR, 0);
    ASSERT_TRUE(h != nullptr && p != nullptr);
    EXPECT_EQ(std::make_tuple(HostTesting::LiveHandleCount(), BMGetHandleSize(h), BMGetPtrSize(p)),
              std::make_tuple(before + 2, 64, 24));
    for (int i = 0; i < 64; ++i) EXPECT_EQ((*h)[i], 0) << i;
    EXPECT_EQ(std::make_tuple(BMKillHandle(&h), BMKillPtr(&p)), std::make_tuple(NoError, NoError));
    EXPECT_TRUE(h == nullptr && p == nullptr) << "a kill clears the caller's variable";
    EXPECT_EQ(HostTesting::LiveHandleCount(), before);

    HostTesting::FailAllocation(2);
    GSHandle first = BMAllocateHandle(8, 0, 0), second = BMAllocateHandle(8, 0, 0), third = BMAllocateHandle(8, 0, 0);
    EXPECT_TRUE(first != nullptr && second == nullptr && third != nullptr)
        << "an injected failure hits the nth allocation only";
    BMKillHandle(&first);
    GSHandle none = nullptr, alias = third;
    EXPECT_EQ(BMKillHandle(&none), NoError);
    BMKillHandle(&third);
    EXPECT_NE(BMKillHandle(&alias), NoError);
    EXPECT_EQ(alias, nullptr);
    EXPECT_EQ(HostTesting::BadFreeCount(), 1) << "a double kill is caught";
    HostTesting::ResetProject();  // the deliberate bad free is not a fault of this test
}

}  // namespace
