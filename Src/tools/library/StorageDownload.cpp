#include "tools/library/StorageDownload.hpp"

#include "services/StorageClient.hpp"

std::string SupabaseDownloadPublic(const std::string& objectPath)
{
    return Quillmere::StorageClient::FromSettings().DownloadPublic(objectPath);
}
