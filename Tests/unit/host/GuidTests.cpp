#include <set>

#include "HostFixture.hpp"

namespace {

TEST(GuidText, ParsesEitherCasePrintsUpperCaseAndRoundTrips)
{
    const char* text = "3F2504E0-4F89-11D3-9A0C-0305E82C3301";
    GS::Guid guid(text);
    EXPECT_FALSE(guid.IsNull());
    EXPECT_EQ(guid.ToString(), text);
    EXPECT_STREQ(guid.ToUniString().ToCStr().Get(), text);
    EXPECT_EQ(GS::Guid(guid.ToString().c_str()), guid);
    EXPECT_EQ(GS::Guid("3f2504e0-4f89-11d3-9a0c-0305e82c3301"), guid);
    EXPECT_EQ(GS::Guid("3f2504e0-4f89-11d3-9a0c-0305e82c3301").ToString(), text);
    EXPECT_EQ(APIGuid2GSGuid(APINULLGuid).ToString(), "00000000-0000-0000-0000-000000000000");
}

TEST(GuidText, TextOrderMatchesTheRecordFieldsAndConversionsKeepTheBytes)
{
    API_Guid g = GSGuid2APIGuid(GS::Guid("00000001-0002-0003-0405-060708090A0B"));
    EXPECT_EQ(g.time_low, 1u);
    EXPECT_EQ(g.time_mid, 2u);
    EXPECT_EQ(g.time_hi_and_version, 3u);
    EXPECT_EQ(g.clock_seq_hi_and_reserved, 4u);
    EXPECT_EQ(g.clock_seq_low, 5u);
    EXPECT_EQ(g.node[5], 0x0Bu);
    GS::Guid fresh;
    fresh.Generate();
    API_Guid api = GSGuid2APIGuid(fresh);
    EXPECT_EQ(APIGuid2GSGuid(api), fresh);
    EXPECT_EQ(std::memcmp(&api, fresh.bytes, 16), 0);
}

TEST(GuidText, MalformedTextGivesTheNullGuid)
{
    for (const char* text : {"", "not a guid", "3F2504E0-4F89-11D3-9A0C-0305E82C330", "3F2504E0-4F89-11D3-9A0C-0305E82C33011",
                             "3F2504E04F8911D39A0C0305E82C3301", "3F2504E0-4F89-11D3-9A0C_0305E82C3301",
                             "3G2504E0-4F89-11D3-9A0C-0305E82C3301", "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}",
                             " 3F2504E0-4F89-11D3-9A0C-0305E82C3301"}) {
        EXPECT_TRUE(GS::Guid(text).IsNull()) << text;
        EXPECT_EQ(GSGuid2APIGuid(GS::Guid(text)), APINULLGuid) << text;
    }
    EXPECT_TRUE(GS::Guid(static_cast<const char*>(nullptr)).IsNull());
}

TEST(GuidGeneration, FreshGuidsAreDistinctAndRepeatAfterReset)
{
    HostTesting::ResetProject();
    std::set<std::string> seen;
    std::vector<std::string> first;
    for (int i = 0; i < 1000; ++i) {
        GS::Guid g;
        g.Generate();
        EXPECT_FALSE(g.IsNull());
        first.push_back(g.ToString());
        seen.insert(g.ToString());
    }
    EXPECT_EQ(seen.size(), 1000u);
    HostTesting::ResetProject();
    for (int i = 0; i < 3; ++i) {
        GS::Guid g;
        g.Generate();
        EXPECT_EQ(g.ToString(), first[size_t(i)]);
    }
}

}  // namespace
