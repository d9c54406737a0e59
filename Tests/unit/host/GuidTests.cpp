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
    EXPECT_EQ(std::make_tuple(g.time_low, g.time_mid, g.time_hi_and_version, g.clock_seq_hi_and_reserved, g.clock_seq_low, g.node[5]),
              std::make_tuple(1u, 2u, 3u, 4u, 5u, 0x0Bu));
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
    auto generate = [](int n) {
        std::vector<std::string> out;
        for (GS::Guid g; int(out.size()) < n; out.push_back(g.ToString())) {
            g.Generate();
            EXPECT_FALSE(g.IsNull());
        }
        return out;
    };
    HostTesting::ResetProject();
    const std::vector<std::string> first = generate(1000);
    EXPECT_EQ(std::set<std::string>(first.begin(), first.end()).size(), 1000u);
    HostTesting::ResetProject();
    EXPECT_EQ(generate(3), std::vector<std::string>(first.begin(), first.begin() + 3));
}

}  // namespace
