#include "tools/library/StorageDownload.hpp"

#include "services/StorageClient.hpp"

std::string SupabaseDownloadPublic(const std::string& objectPath, std::size_t maxBytes)
{
    return Quillmere::StorageClient::FromSettings().DownloadPublic(objectPath, maxBytes);
}
