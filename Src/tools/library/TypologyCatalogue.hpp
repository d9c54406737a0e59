#pragma once

// The catalogue of house typologies and how a brief is matched against it. The storage's
// "typologies/index.json" is kept for the rest of the process once it has been read as a list
// (or an object of entries); until then each call uses the built-in catalogue and tries the
// storage again.

#include <string>

#include <nlohmann/json.hpp>

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

// The first best-scoring entry as the select tool reports it, or the no-match object when the
// best scores below 10 or has no name; either holds its contract's keys only. An entry scores
// up to 31 points; one that is not an object, or has a field of the wrong type or a number
// outside int's range, is skipped. Skipped entries, and a stored catalogue that could not be
// downloaded (a deadline, a refusal; not one that is not stored), are written to the debug log.
nlohmann::json SelectTypology(const TypologyBrief& brief);
