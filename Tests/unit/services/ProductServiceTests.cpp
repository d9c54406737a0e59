// The product-service client: where it finds the service, how ids are made safe for a URL and
// how replies are judged. What each request carries is checked through the plan tools.

#include <gtest/gtest.h>

#include "FakeProductService.hpp"
#include "services/ProductService.hpp"

namespace Service = Quillmere::ProductService;

TEST(ProductService, TheBaseAddressComesFromSettingsThenTheEnvironmentAndLosesTrailingSlashes)
{
    const struct {
        const char* what;
        const char* settings;  // nullptr: no settings file
        const char* environment;
        const char* base;
    } cases[] = {
        {"settings first", R"({"service_url": "http://settings.invalid:1/"})", "http://env.invalid:2",
         "http://settings.invalid:1"},
        {"environment when settings leave it empty", R"({"service_url": ""})", "http://env.invalid:2//",
         "http://env.invalid:2"},
        {"environment when settings are unreadable", "{ not json", "http://env.invalid:2", "http://env.invalid:2"},
        {"nothing configured", nullptr, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ServiceUrlScope scope(c.environment);
        if (c.settings != nullptr) scope.WriteSettings(c.settings);
        EXPECT_EQ(Service::BaseUrl(), c.base);
        EXPECT_EQ(Service::Url("/plans/upload"), std::string(c.base) + "/plans/upload");
    }
}

TEST(ProductService, WithoutAnAddressRequestsFailAsInvalidUrlsAndReachNothing)
{
    FakeProductService service;
    ServiceUrlScope scope("");
    const Quillmere::HttpResponse responses[] = {Service::Get("/plans/p/status"),
                                                 Service::PostJson("/plans/p/extract", "{}"),
                                                 Service::PostMultipart("/plans/upload", {}, {})};
    const char* urls[] = {"/plans/p/status", "/plans/p/extract", "/plans/upload"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(responses[i].statusCode, 0);
        EXPECT_EQ(responses[i].error, std::string("Invalid URL: ") + urls[i]);
    }
    EXPECT_TRUE(service.Requests().empty());
}

TEST(ProductService, IdsBecomeOnePathSegmentOrdinaryIdsUnchanged)
{
    const std::pair<std::string, std::string> cases[] = {
        {"AZaz09-._~", "AZaz09-._~"},
        {"../../admin", "..%2F..%2Fadmin"},
        {"50%", "50%25"},
        {"\xC3\xA9\r\n", "%C3%A9%0D%0A"},
    };
    for (const auto& [id, escaped] : cases) EXPECT_EQ(Service::Escape(id), escaped) << id;
}

TEST(ProductService, OnlyTwoHundredsSucceedAndFailuresNameTheClientErrorOrTheStatus)
{
    const struct {
        int status;
        const char* error;
        bool succeeded;
        const char* text;
    } cases[] = {
        {199, "", false, "Upload failed: HTTP 199"},
        {299, "", true, "Upload failed: HTTP 299"},
        {300, "", false, "Upload failed: HTTP 300"},
        {0, "Couldn't connect to server", false, "Upload failed: Couldn't connect to server"},
    };
    for (const auto& c : cases) {
        Quillmere::HttpResponse response;
        response.statusCode = c.status;
        response.error = c.error;
        response.body = "{\"secret\":\"body\"}";
        EXPECT_EQ(Service::Succeeded(response), c.succeeded) << c.status;
        EXPECT_EQ(Service::FailureText("Upload failed: ", response), c.text);
    }
}
