// The object-storage client: configuration from the environment or settings.json, and the
// three requests the design library makes.

#include "services/StorageClient.hpp"

#include <cstdlib>
#include <utility>

#include "core/CurrentSettings.hpp"
#include "core/DebugLog.hpp"
#include "core/OutsideText.hpp"
#include "core/PathSegment.hpp"

namespace Quillmere {

const char* const kStorageNotConfigured = "Object storage is not configured";

namespace {

const char* const kBlanks = " \t\r\n";

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The settings file's value when it is not blank, else the environment's: the same order as
// the model and product-service addresses, so one rule holds for every outside service.
std::string FromSettingsOrEnvironment(const std::string& fromSettings, const char* name)
{
    if (!Trimmed(fromSettings).empty()) return fromSettings;
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

// A blank or control byte cannot stand in an address; such a path is never requested.
bool FitsInAddress(const std::string& path)
{
    for (unsigned char c : path)
        if (c <= 0x20 || c == 0x7F) return false;
    return true;
}

HttpResponse NotConfigured()
{
    HttpResponse response;
    response.error = kStorageNotConfigured;
    return response;
}

HttpResponse Refused(const std::string& objectName)
{
    HttpResponse response;
    response.error = "Invalid object name: " + QuoteOutsideText(objectName);
    return response;
}

}  // namespace

StorageConfig MakeStorageConfig(const std::string& url, const std::string& anonKey, const std::string& serviceKey)
{
    StorageConfig config;
    config.baseUrl = Trimmed(url);
    while (!config.baseUrl.empty() && config.baseUrl.back() == '/') config.baseUrl.pop_back();
    config.anonKey = Trimmed(anonKey);
    config.serviceKey = Trimmed(serviceKey);
    return config;
}

StorageConfig LoadStorageConfig()
{
    const Settings settings = CurrentSettings::Get();
    StorageConfig config =
        MakeStorageConfig(FromSettingsOrEnvironment(settings.storageUrl, "QUILLMERE_STORAGE_URL"),
                          FromSettingsOrEnvironment(settings.storageAnonKey, "QUILLMERE_STORAGE_ANON_KEY"),
                          FromSettingsOrEnvironment(settings.storageServiceKey, "QUILLMERE_STORAGE_SERVICE_KEY"));
    // Whatever a later log line quotes, neither key is written.
    DebugLogRedact(config.anonKey);
    DebugLogRedact(config.serviceKey);
    return config;
}

StorageClient::StorageClient(StorageConfig config) : config_(std::move(config)) {}

StorageClient StorageClient::FromSettings() { return StorageClient(LoadStorageConfig()); }

std::map<std::string, std::string> StorageClient::AuthHeaders(const std::string& contentType) const
{
    const std::string& bearer = config_.serviceKey.empty() ? config_.anonKey : config_.serviceKey;
    return {{"apikey", config_.anonKey}, {"Authorization", "Bearer " + bearer}, {"Content-Type", contentType}};
}

HttpResponse StorageClient::Upload(const std::string& objectName, const std::string& body,
                                   const std::string& contentType) const
{
    if (!IsConfigured()) return NotConfigured();
    if (!IsSafeObjectPath(objectName)) return Refused(objectName);
    auto headers = AuthHeaders(contentType);
    headers["x-upsert"] = "true";
    return HttpPost(config_.baseUrl + "/storage/v1/object/" + kBucket + "/" + objectName, body, headers);
}

HttpResponse StorageClient::List() const
{
    if (!IsConfigured()) return NotConfigured();
    return HttpPost(config_.baseUrl + "/storage/v1/object/list/" + kBucket, R"({"prefix":"","limit":1000})",
                    AuthHeaders("application/json"));
}

HttpResponse StorageClient::GetPublic(const std::string& objectPath, std::size_t maxBytes) const
{
    if (config_.baseUrl.empty()) return NotConfigured();
    if (!FitsInAddress(objectPath) || !IsSafeObjectPath(objectPath)) return Refused(objectPath);
    return HttpGet(config_.baseUrl + "/storage/v1/object/public/" + kBucket + "/" + objectPath, {}, maxBytes);
}

std::string StorageClient::DownloadPublic(const std::string& objectPath, std::size_t maxBytes) const
{
    HttpResponse response = GetPublic(objectPath, maxBytes);
    return Succeeded(response) ? std::move(response.body) : std::string();
}

}  // namespace Quillmere
