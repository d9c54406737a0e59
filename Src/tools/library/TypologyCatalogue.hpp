#pragma once

// The catalogue of house typologies and how a brief is matched against it. The catalogue is
// read once per process: the storage's "typologies/index.json" when it exists and parses,
// else the built-in one; it is never fetched again, not even after a failed first attempt.

#include <string>

#include <nlohmann/json.hpp>

// The built-in catalogue, as JSON text.
const char* BuiltInTypologyCatalogue();

// The catalogue in use, loaded on the first call.
const nlohmann::json& TypologyCatalogue();

// Forgets the loaded catalogue, so that a test starts as a fresh process would.
void ResetTypologyCatalogueForTesting();

struct TypologyBrief {
    int bedrooms = 2;
    int bathrooms = 1;
    int stories = 1;
    std::string style;
    double approxSqm = 0.0;
    bool hasGarage = false;
};

// Points an entry earns against the brief (at most 31). Throws the JSON library's type error
// for an entry that is not an object or a field of the wrong type.
int ScoreTypology(const nlohmann::json& entry, const TypologyBrief& brief);

// The first best-scoring entry as the select tool reports it, or the no-match object when the
// best scores below 10 or has no name.
nlohmann::json SelectTypology(const TypologyBrief& brief);
