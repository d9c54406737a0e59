#pragma once

#include <map>
#include <string>
#include <vector>

namespace Quillmere {

struct HttpResponse {
    int statusCode = 0;      // 0 when no HTTP response arrived
    std::string body;        // bytes as received
    std::string error;       // empty unless the call failed before or during the transfer
};

struct MultipartFile {
    std::string fieldName;
    std::string filePath;
    std::string contentType;
};

// Blocking requests; safe from any thread. A status outside 200-299 is not an error here.
HttpResponse HttpGet(const std::string& url, const std::map<std::string, std::string>& headers);
HttpResponse HttpPost(const std::string& url, const std::string& body,
                      const std::map<std::string, std::string>& headers);
HttpResponse HttpPostMultipart(const std::string& url, const std::map<std::string, std::string>& fields,
                               const std::vector<MultipartFile>& files,
                               const std::map<std::string, std::string>& headers);

}  // namespace Quillmere
