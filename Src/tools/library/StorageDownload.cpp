// The library's public downloads: the bytes, or the cause of their absence.
#include "tools/library/StorageDownload.hpp"

#include <utility>

#include "core/HttpClient.hpp"
#include "core/OutsideText.hpp"
#include "services/StorageClient.hpp"

namespace {

// What a failed read says: the client's error text when no status came, else "HTTP " and the
// status; "" for a 2xx or a 404.
std::string DownloadFailure(const Quillmere::HttpResponse& response)
{
    if (Quillmere::IsSuccessStatus(response.statusCode)) return "";
    if (response.statusCode == 404) return "";
    if (response.statusCode == 0)
        return QuoteOutsideText(response.error.empty() ? std::string("no answer") : response.error);
    return "HTTP " + std::to_string(response.statusCode);
}

}  // namespace

StoredObject SupabaseDownloadPublic(const std::string& objectPath, std::size_t maxBytes)
{
    Quillmere::HttpResponse response = Quillmere::StorageClient::FromSettings().GetPublic(objectPath, maxBytes);
    StoredObject object;
    object.failure = DownloadFailure(response);
    if (Quillmere::IsSuccessStatus(response.statusCode)) object.bytes = std::move(response.body);
    return object;
}
