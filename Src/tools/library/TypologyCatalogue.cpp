#include "tools/library/TypologyCatalogue.hpp"

#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

#include "core/DebugLog.hpp"
#include "core/JsonDepth.hpp"

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

// One catalogue entry with every field checked: numbers from outside are range-checked
// before they become an int.
struct Entry {
    std::string name;
    int bedrooms = 0;
    int bathrooms = 0;
    int stories = 1;
    std::string style;
    double approxSqm = 0.0;
    bool hasGarage = false;
};

bool ReadInt(const json& entry, const char* key, int& out)
{
    const auto found = entry.find(key);
    if (found == entry.end()) return true;
    if (!found->is_number()) return false;
    const double value = found->get<double>();
    if (!(value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max())) return false;
    out = static_cast<int>(value);
    return true;
}

template <typename T>
bool ReadTyped(const json& entry, const char* key, bool (json::*isType)() const, T& out)
{
    const auto found = entry.find(key);
    if (found == entry.end()) return true;
    if (!((*found).*isType)()) return false;
    out = found->get<T>();
    return true;
}

bool ReadEntry(const json& entry, Entry& out)
{
    return entry.is_object() && ReadTyped(entry, "name", &json::is_string, out.name) &&
           ReadInt(entry, "bedrooms", out.bedrooms) && ReadInt(entry, "bathrooms", out.bathrooms) &&
           ReadInt(entry, "stories", out.stories) && ReadTyped(entry, "style", &json::is_string, out.style) &&
           ReadTyped(entry, "approx_sqm", &json::is_number, out.approxSqm) && std::isfinite(out.approxSqm) &&
           ReadTyped(entry, "has_garage", &json::is_boolean, out.hasGarage);
}

int Score(const Entry& entry, const TypologyBrief& brief)
{
    int score = 0;
    const long long bedroomGap = static_cast<long long>(entry.bedrooms) - brief.bedrooms;
    if (bedroomGap == 0)
        score += 10;
    else if (bedroomGap == 1 || bedroomGap == -1)
        score += 5;
    if (entry.bathrooms == brief.bathrooms) score += 5;
    if (entry.stories == brief.stories) score += 5;
    if (!brief.style.empty() && entry.style == brief.style) score += 3;
    if (entry.hasGarage == brief.hasGarage) score += 3;
    if (brief.approxSqm > 0 && entry.approxSqm > 0 &&
        std::abs(entry.approxSqm - brief.approxSqm) / brief.approxSqm <= 0.3)
        score += 5;
    return score;
}

}  // namespace

const json& TypologyCatalogue()
{
    if (sTypologyIndexLoaded) return sTypologyIndex;
    // Only a stored index that reads as a list (or an object of entries) is kept; otherwise the
    // built-in one serves this call and the next call tries the storage again.
    const StoredObject download = TypologyDownloadPublic("typologies/index.json");
    // Falling back to the built-in catalogue is no failure of the call, so the reply stays as it
    // is; why the stored one could not be had goes to the log.
    if (download.Failed())
        DebugLog("The stored typology catalogue could not be downloaded (" + download.failure +
                 "); the built-in catalogue is used");
    json stored = ParseOutsideJson(download.bytes);
    sTypologyIndexLoaded = stored.is_array() || stored.is_object();
    sTypologyIndex = sTypologyIndexLoaded ? std::move(stored) : ParseBuiltIn();
    return sTypologyIndex;
}

void ResetTypologyCatalogueForTesting()
{
    sTypologyIndex = json();
    sTypologyIndexLoaded = false;
}

json SelectTypology(const TypologyBrief& brief)
{
    int bestScore = -1;
    Entry best;
    std::size_t skipped = 0;
    for (const json& item : TypologyCatalogue()) {
        Entry entry;
        if (!ReadEntry(item, entry)) {
            ++skipped;
            continue;
        }
        const int score = Score(entry, brief);
        if (score > bestScore) {
            bestScore = score;
            best = entry;
        }
    }
    json result;
    if (bestScore < 10 || best.name.empty())
        result = {{"match", false},
                  {"message", "No typology matches the brief well enough. Fall back to manual design."}};
    else
        result = {{"match", true},
                  {"typology_name", best.name},
                  {"bedrooms", best.bedrooms},
                  {"bathrooms", best.bathrooms},
                  {"stories", best.stories},
                  {"approx_sqm", best.approxSqm},
                  {"style", best.style},
                  {"score", bestScore}};
    if (skipped > 0)
        DebugLog("select_typology passed over " + std::to_string(skipped) +
                 " catalogue entries that are not objects of readable fields");
    return result;
}
