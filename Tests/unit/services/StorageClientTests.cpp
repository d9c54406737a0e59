// The object-storage client against the fake storage: where its configuration comes from,
// its three requests, and what it sends nowhere.
#include <filesystem>

#include "FakeStorage.hpp"
#include "QuillmereTest.hpp"
#include "TempFolder.hpp"
#include "services/StorageClient.hpp"

using Quillmere::StorageClient;

namespace {

// No storage variables, whatever the machine has set (the fixture gives a private home).
class StorageTest : public QuillmereTest {
protected:
    ScopedStorageEnvironment clean{"", "", ""};
};

TEST_F(StorageTest, ConfigurationComesFromTheSettingsFileBeforeTheEnvironment)
{
    std::filesystem::create_directories(HomeDir() + "/.quillmere");
    TempFolder::Write(HomeDir() + "/.quillmere/settings.json",
                      R"({"storage_url": "http://settings.invalid/", "storage_anon_key": " anon-from-file\n",
                          "storage_service_key": "  "})");
    struct Case {
        const char* name;
        std::string url, anon, service;  // environment; empty = unset
        std::string wantUrl, wantAnon, wantService;
    };
    const Case cases[] = {
        {"file only", "", "", "", "http://settings.invalid", "anon-from-file", ""},
        {"file wins per value, the environment fills a blank one", "http://env.invalid//", "anon-env", "service-env",
         "http://settings.invalid", "anon-from-file", "service-env"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedStorageEnvironment env(c.url, c.anon, c.service);
        const auto config = Quillmere::LoadStorageConfig();
        EXPECT_EQ(std::tie(config.baseUrl, config.anonKey, config.serviceKey),
                  std::tie(c.wantUrl, c.wantAnon, c.wantService));
    }
}

// The fake refuses a request without the keys, the upsert mark or the content types it needs.
TEST_F(StorageTest, UploadAndListAreAcceptedAndThePublicKeyStandsInForAMissingPrivilegedOne)
{
    FakeStorage storage;
    const StorageClient client(storage.Config());
    EXPECT_EQ(client.Upload("house.meta.json", "{\"a\": 1}", "application/json").statusCode, 200);
    EXPECT_EQ(storage.Object("house.meta.json"), std::optional<std::string>("{\"a\": 1}"));
    EXPECT_EQ(client.List().statusCode, 200);
    EXPECT_EQ(storage.Requests().at(1).body, R"({"prefix":"","limit":1000})");

    FakeStorage publicOnly(kFakeAnonKey, "");
    EXPECT_EQ(StorageClient(publicOnly.Config()).Upload("a.mod", "b", "application/octet-stream").statusCode, 200);
}

TEST_F(StorageTest, PublicDownloadGivesTheBytesOrNothing)
{
    FakeStorage storage;
    storage.Put("typologies/x/meta.json", std::string("a\0b", 3));
    storage.FailNext("/storage/v1/object/public/Templates/flaky", 500, "oops");
    const StorageClient client(storage.Config());
    struct Case {
        const char* path;
        std::string want;
    };
    const Case cases[] = {
        {"typologies/x/meta.json", std::string("a\0b", 3)},
        {"flaky.meta.json", ""},
        {"with blank.meta.json", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(client.DownloadPublic(c.path), c.want);
    }
    EXPECT_EQ(storage.RequestsTo("GET", "/").size(), 2u);  // none for the unfit path
    for (const auto& request : storage.RequestsTo("GET", "/"))
        EXPECT_EQ(request.headers.count("apikey") + request.headers.count("Authorization"), 0u);
    EXPECT_EQ(StorageClient(Quillmere::MakeStorageConfig(FakeStorage::ClosedUrl(), "k", "")).DownloadPublic("a"), "");
}

TEST_F(StorageTest, NothingIsSentWithoutAnAddressOrPublicKeyAndAStoppedStorageNamesNoKey)
{
    FakeStorage storage;
    const Quillmere::StorageConfig configs[] = {
        Quillmere::MakeStorageConfig("", kFakeAnonKey, kFakeServiceKey),
        Quillmere::MakeStorageConfig(storage.Url(), "", kFakeServiceKey),
    };
    for (const auto& config : configs) {
        const StorageClient client(config);
        EXPECT_FALSE(client.IsConfigured());
        const auto upload = client.Upload("a.mod", "b", "application/octet-stream");
        EXPECT_EQ(upload.statusCode, 0);
        EXPECT_EQ(upload.error, Quillmere::kStorageNotConfigured);
        EXPECT_EQ(client.List().statusCode, 0);
    }
    EXPECT_EQ(storage.RequestCount(), 0u);

    // A stopped storage fails without naming the key.
    const StorageClient client(storage.Config());
    storage.Stop();
    const auto response = client.Upload("a.mod", "b", "application/octet-stream");
    EXPECT_EQ(response.statusCode, 0);
    EXPECT_FALSE(response.error.empty());
    EXPECT_EQ(response.error.find(kFakeAnonKey), std::string::npos);
}

}  // namespace
