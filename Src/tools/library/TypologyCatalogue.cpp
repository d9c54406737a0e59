#include "tools/library/TypologyCatalogue.hpp"

#include <cmath>

#include "tools/library/StorageDownload.hpp"

using json = nlohmann::json;

namespace {

// Exactly as shipped: one entry per line, keys in a fixed order, areas as integers.
const char* const kBuiltInCatalogue = R"CATALOGUE([
		{"name":"compact-2br-1bath","bedrooms":2,"bathrooms":1,"stories":1,"style":"modern","approx_sqm":85,"has_garage":false},
		{"name":"family-3br-2bath","bedrooms":3,"bathrooms":2,"stories":1,"style":"modern","approx_sqm":130,"has_garage":true},
		{"name":"family-3br-2bath-twostory","bedrooms":3,"bathrooms":2,"stories":2,"style":"traditional","approx_sqm":160,"has_garage":true},
		{"name":"large-4br-3bath","bedrooms":4,"bathrooms":3,"stories":2,"style":"modern","approx_sqm":220,"has_garage":true},
		{"name":"studio-1br-1bath","bedrooms":1,"bathrooms":1,"stories":1,"style":"modern","approx_sqm":45,"has_garage":false},
		{"name":"cottage-2br-1bath","bedrooms":2,"bathrooms":1,"stories":1,"style":"traditional","approx_sqm":75,"has_garage":false},
		{"name":"villa-4br-3bath","bedrooms":4,"bathrooms":3,"stories":1,"style":"mediterranean","approx_sqm":250,"has_garage":true},
		{"name":"townhouse-3br-2bath","bedrooms":3,"bathrooms":2,"stories":2,"style":"modern","approx_sqm":140,"has_garage":false},
		{"name":"luxury-5br-4bath","bedrooms":5,"bathrooms":4,"stories":2,"style":"modern","approx_sqm":350,"has_garage":true}
	])CATALOGUE";

json sTypologyIndex;
bool sTypologyIndexLoaded = false;

json ParseBuiltIn() { return json::parse(kBuiltInCatalogue); }

}  // namespace

const char* BuiltInTypologyCatalogue() { return kBuiltInCatalogue; }

const json& TypologyCatalogue()
{
    if (sTypologyIndexLoaded) return sTypologyIndex;
    sTypologyIndexLoaded = true;  // before the download: one attempt per process
    const std::string body = TypologyDownloadPublic("typologies/index.json");
    if (body.empty()) {
        sTypologyIndex = ParseBuiltIn();
        return sTypologyIndex;
    }
    try {
        sTypologyIndex = json::parse(body, nullptr, true, false);
    } catch (...) {
        sTypologyIndex = ParseBuiltIn();
    }
    return sTypologyIndex;
}

void ResetTypologyCatalogueForTesting()
{
    sTypologyIndex = json();
    sTypologyIndexLoaded = false;
}

int ScoreTypology(const json& entry, const TypologyBrief& brief)
{
    int score = 0;
    const int bedrooms = entry.value("bedrooms", 0);
    if (bedrooms == brief.bedrooms)
        score += 10;
    else if (static_cast<long long>(bedrooms) - brief.bedrooms == 1 ||
             static_cast<long long>(brief.bedrooms) - bedrooms == 1)
        score += 5;
    if (entry.value("bathrooms", 0) == brief.bathrooms) score += 5;
    if (entry.value("stories", 1) == brief.stories) score += 5;
    if (!brief.style.empty() && entry.value("style", std::string()) == brief.style) score += 3;
    if (entry.value("has_garage", false) == brief.hasGarage) score += 3;
    const double area = entry.value("approx_sqm", 0.0);
    if (brief.approxSqm > 0 && area > 0 && std::abs(area - brief.approxSqm) / brief.approxSqm <= 0.3) score += 5;
    return score;
}

json SelectTypology(const TypologyBrief& brief)
{
    int bestScore = -1;
    std::string bestName;
    json best;
    for (const json& entry : TypologyCatalogue()) {
        const int score = ScoreTypology(entry, brief);
        if (score > bestScore) {
            bestScore = score;
            bestName = entry.value("name", std::string());
            best = entry;
        }
    }
    if (bestScore < 10 || bestName.empty())
        return {{"match", false},
                {"message", "No typology matches the brief well enough. Fall back to manual design."}};
    return {{"match", true},
            {"typology_name", bestName},
            {"bedrooms", best.value("bedrooms", 0)},
            {"bathrooms", best.value("bathrooms", 0)},
            {"stories", best.value("stories", 1)},
            {"approx_sqm", best.value("approx_sqm", 0.0)},
            {"style", best.value("style", std::string())},
            {"score", bestScore}};
}
