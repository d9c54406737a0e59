// The workspace stand-in that opens the sign-in page in the user's browser: only web addresses
// are opened, each is kept for tests and handed to the shell's opener, and a refusal is
// injected like any host failure.

#include <gtest/gtest.h>

#include "HostTestingWorkspace.hpp"
#include "HostWorkspace.hpp"
#include "QuillmereTest.hpp"

TEST_F(QuillmereTest, OnlyWebAddressesAreOpenedInTheBrowser)
{
    HostTesting::ClearOpenedUrls();
    std::vector<std::string> handed;
    HostTesting::InstallUrlOpener([&](const std::string& url) { handed.push_back(url); });
    struct Row {
        const char* url;
        bool opened;
    };
    for (const Row& row :
         {Row{"https://id.example.invalid/device?user_code=AB-CD", true}, Row{"http://127.0.0.1:9/device", true},
          Row{"file:///etc/passwd", false}, Row{"javascript:alert(1)", false},
          Row{"https://a.invalid/x\r\nHost: b", false}, Row{"", false}})
        EXPECT_EQ(HostOpenURL(GS::UniString(row.url)), row.opened) << row.url;
    HostTesting::FailNextCall("NSWorkspace openURL", APIERR_GENERAL);
    EXPECT_FALSE(HostOpenURL(GS::UniString("https://refused.invalid/")));
    const std::vector<std::string> opened{"https://id.example.invalid/device?user_code=AB-CD",
                                          "http://127.0.0.1:9/device"};
    EXPECT_EQ(HostTesting::OpenedUrls(), opened);
    EXPECT_EQ(handed, opened);
    HostTesting::InstallUrlOpener(nullptr);
    HostTesting::ClearOpenedUrls();
}
