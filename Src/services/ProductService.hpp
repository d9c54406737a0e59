#pragma once

// The product's service (plan recognition, rendering) as the tool families reach it: where it
// is, the header every request carries, ids made safe for a URL, and how a reply is judged.
// Requests block the calling thread (see core/HttpClient.hpp); any thread may make them.
//
// Where it is: "service_url" in ~/.quillmere/settings.json, else the environment variable
// QUILLMERE_SERVICE_URL, read afresh for every request. With neither, the base is empty and
// every request fails with the HTTP client's "Invalid URL: " text; nothing is sent anywhere.

#include <map>
#include <string>
#include <vector>

#include "core/HttpClient.hpp"

namespace Quillmere {
namespace ProductService {

// Scheme, host and port without a trailing slash, or empty when not configured.
std::string BaseUrl();

// {"X-Quillmere-Dev": "1"}: carried by every request to the service.
const std::map<std::string, std::string>& DevHeaders();

// The base address followed by path (which begins with "/").
std::string Url(const std::string& path);

// One request to base + path with DevHeaders(). PostJson adds "Content-Type: application/json";
// PostMultipart gets its Content-Type from the HTTP client.
HttpResponse Get(const std::string& path);
HttpResponse PostJson(const std::string& path, const std::string& body);
HttpResponse PostMultipart(const std::string& path, const std::map<std::string, std::string>& fields,
                           const std::vector<MultipartFile>& files);

// A 2xx reply (core/HttpClient.hpp).
using Quillmere::Succeeded;
// A failed reply as a tool reports it: prefix + the client's error text, or prefix + "HTTP "
// and the status when there is none. The reply's body is never part of it.
std::string FailureText(const std::string& prefix, const HttpResponse& response);

}  // namespace ProductService
}  // namespace Quillmere
