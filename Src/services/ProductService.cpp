#include "services/ProductService.hpp"

#include <cstdlib>

#include "core/CurrentSettings.hpp"

namespace Quillmere {
namespace ProductService {

std::string BaseUrl()
{
    std::string base = CurrentSettings::Get().serviceUrl;
    if (base.empty()) {
        const char* fromEnvironment = std::getenv("QUILLMERE_SERVICE_URL");
        base = fromEnvironment != nullptr ? fromEnvironment : "";
    }
    // Every path appended begins with "/": a configured trailing slash would double it.
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base;
}

const std::map<std::string, std::string>& DevHeaders()
{
    static const std::map<std::string, std::string> headers{{"X-Quillmere-Dev", "1"}};
    return headers;
}

std::string Url(const std::string& path) { return BaseUrl() + path; }

HttpResponse Get(const std::string& path) { return HttpGet(Url(path), DevHeaders()); }

HttpResponse PostJson(const std::string& path, const std::string& body)
{
    std::map<std::string, std::string> headers = DevHeaders();
    headers["Content-Type"] = "application/json";
    return HttpPost(Url(path), body, headers);
}

HttpResponse PostMultipart(const std::string& path, const std::map<std::string, std::string>& fields,
                           const std::vector<MultipartFile>& files)
{
    return HttpPostMultipart(Url(path), fields, files, DevHeaders());
}

std::string FailureText(const std::string& prefix, const HttpResponse& response)
{
    return prefix + (response.error.empty() ? "HTTP " + std::to_string(response.statusCode) : response.error);
}

}  // namespace ProductService
}  // namespace Quillmere
