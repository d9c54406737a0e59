#pragma once

// The client of the object storage that holds templates and typologies (bucket "Templates"):
// upload of one object, the bucket listing and the public download of one object.
//
// Where the storage is and its two keys are the deployment's, never the source's: each comes
// from the environment when set there (QUILLMERE_STORAGE_URL, QUILLMERE_STORAGE_ANON_KEY,
// QUILLMERE_STORAGE_SERVICE_KEY), else from ~/.quillmere/settings.json ("storage_url",
// "storage_anon_key", "storage_service_key"). The public key goes in the "apikey" header; the
// privileged key is the Bearer value, or the public key when no privileged key is set.
//
// No key is ever part of what these functions return: a caller may put the response's
// status, body and error text into a result or a log line.

#include <cstddef>
#include <map>
#include <string>

#include "core/HttpClient.hpp"

namespace Quillmere {

struct StorageConfig {
    std::string baseUrl;     // scheme, host and port; no trailing slash
    std::string anonKey;     // the service's public key
    std::string serviceKey;  // the privileged key; may be empty

    // Requests are made only with an address and the public key.
    bool IsConfigured() const { return !baseUrl.empty() && !anonKey.empty(); }
};

// The configuration as settings.json and the environment give it now (settings.json first,
// value by value, the environment for what the file leaves blank). Surrounding blanks and new lines are dropped, as are
// trailing slashes of the address.
StorageConfig LoadStorageConfig();
// The same over given settings values (for tests and callers that hold the settings).
StorageConfig MakeStorageConfig(const std::string& url, const std::string& anonKey, const std::string& serviceKey);

class StorageClient {
public:
    static constexpr const char* kBucket = "Templates";

    explicit StorageClient(StorageConfig config);
    // A client over LoadStorageConfig().
    static StorageClient FromSettings();

    bool IsConfigured() const { return config_.IsConfigured(); }

    // POST <base>/storage/v1/object/Templates/<objectName> with "apikey", "Authorization",
    // "Content-Type" = contentType and "x-upsert" = "true"; the body as given. The object
    // name is appended unchanged. With no storage configured nothing is sent: status 0,
    // empty body, error "Object storage is not configured"; nor with a name that has an empty,
    // "." or ".." segment (see core/PathSegment.hpp): error "Invalid object name: <name>".
    HttpResponse Upload(const std::string& objectName, const std::string& body, const std::string& contentType) const;

    // POST <base>/storage/v1/object/list/Templates with "apikey", "Authorization" and
    // "Content-Type" application/json; body exactly {"prefix":"","limit":1000}. Not
    // configured: as Upload.
    HttpResponse List() const;

    // GET <base>/storage/v1/object/public/Templates/<objectPath> with no headers; the body on a
    // 2xx status, otherwise (and with no storage configured) the empty string. The path is
    // appended unchanged, '/' included; a path holding a blank or a control byte, or an empty,
    // "." or ".." segment, gives the empty string without a request. A reply longer than
    // maxBytes is a failure.
    std::string DownloadPublic(const std::string& objectPath, std::size_t maxBytes = kMaxServiceReplyBytes) const;
    // The same request with its whole response, for a caller that tells a missing object from
    // one that could not be read in time. A path refused without a request: status 0 and
    // error "Invalid object name: <path>"; no storage address: kStorageNotConfigured.
    HttpResponse GetPublic(const std::string& objectPath, std::size_t maxBytes = kMaxServiceReplyBytes) const;

    // The three headers every authenticated request carries, plus Content-Type.
    std::map<std::string, std::string> AuthHeaders(const std::string& contentType) const;

private:
    StorageConfig config_;
};

// The text of the refusal when no storage is configured.
extern const char* const kStorageNotConfigured;

}  // namespace Quillmere
