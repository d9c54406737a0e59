// The product-service client: where it finds the service, how ids are made safe for a URL and
// how replies are judged (what each request carries is checked through the plan tools); and the
// files written for one upload: private, exactly named, whole, and gone with their folder.

#include <filesystem>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "FakeProductService.hpp"
#include "TempFolder.hpp"
#include "core/PercentEncoding.hpp"
#include "services/ProductService.hpp"
#include "services/UploadFile.hpp"

namespace Service = Quillmere::ProductService;
namespace fs = std::filesystem;

TEST(ProductService, TheBaseAddressComesFromSettingsThenTheEnvironmentAndLosesTrailingSlashes)
{
    const struct {
        const char* what;
        const char* settings;  // nullptr: no settings file
        const char* environment;
        const char* base;
    } cases[] = {
        {"settings first", R"({"service_url": "http://s.invalid:1/"})", "http://e.invalid:2", "http://s.invalid:1"},
        {"environment for an empty setting", R"({"service_url": ""})", "http://e.invalid:2//", "http://e.invalid:2"},
        {"environment when settings are unreadable", "{ not json", "http://e.invalid:2", "http://e.invalid:2"},
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
    for (const auto& [id, escaped] : cases) EXPECT_EQ(PercentEncoded(id), escaped) << id;
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

namespace {

unsigned Mode(const std::string& path)
{
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info.st_mode & 0777;
}

TEST(UploadFile, TheFileIsPrivateExactlyNamedAndWholeAndGoesWithItsFolder)
{
    TempDirScope tmp("quillmere-uploadfile");
    const std::string bytes("%PDF\0\xff\r\n", 8);
    std::string path;
    {
        Quillmere::UploadFile file("quillmere_plan_upload.pdf", bytes);
        ASSERT_TRUE(file.Written());
        path = file.Path();
        const std::string dir = fs::path(path).parent_path();
        EXPECT_EQ(fs::path(path).filename(), "quillmere_plan_upload.pdf");
        EXPECT_EQ(fs::path(dir).parent_path(), fs::path(tmp.Dir()));
        EXPECT_EQ(std::make_pair(Mode(dir), Mode(path)), std::make_pair(0700u, 0600u));
        EXPECT_EQ(TempFolder::Read(path), bytes);
        Quillmere::UploadFile second("quillmere_plan_upload.pdf", "other");
        EXPECT_NE(second.Path(), path) << "two uploads of one kind never share a file";
    }
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(tmp.Empty());
}

TEST(UploadFile, NamesThatAreNoFileNameAndAnUnusableFolderLeaveNothing)
{
    TempDirScope tmp("quillmere-uploadfile");
    for (const char* name : {"", "a/b", "..", "plan\r\nX-Evil: 1.png", "plan\".png", "plan\x7f.png"}) {
        Quillmere::UploadFile file(name, "x");
        EXPECT_FALSE(file.Written()) << name;
        EXPECT_EQ(file.Path(), "");
    }
    EXPECT_TRUE(tmp.Empty());
    ::setenv("TMPDIR", (tmp.Dir() + "/missing").c_str(), 1);
    EXPECT_FALSE(Quillmere::UploadFile("quillmere_plan_upload.png", "x").Written());
}

}  // namespace
