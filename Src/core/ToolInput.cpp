#include "core/ToolInput.hpp"

#include <cmath>
#include <cstdint>
#include <limits>

using nlohmann::json;

namespace {

constexpr std::int64_t kIntMin = std::numeric_limits<int>::min();
constexpr std::int64_t kIntMax = std::numeric_limits<int>::max();

[[noreturn]] void ThrowOutOfRange(const std::string& what, const std::string& shown)
{
    throw ToolInputError(what + " must be a whole number between " + std::to_string(kIntMin) + " and " +
                         std::to_string(kIntMax) + ", got " + shown);
}

}  // namespace

int IntValue(const json& value, const std::string& what)
{
    switch (value.type()) {
    case json::value_t::number_integer: {
        const std::int64_t v = value.get<std::int64_t>();
        if (v < kIntMin || v > kIntMax) {
            ThrowOutOfRange(what, value.dump());
        }
        return static_cast<int>(v);
    }
    case json::value_t::number_unsigned: {
        const std::uint64_t v = value.get<std::uint64_t>();
        if (v > static_cast<std::uint64_t>(kIntMax)) {
            ThrowOutOfRange(what, value.dump());
        }
        return static_cast<int>(v);
    }
    case json::value_t::number_float: {
        const double v = value.get<double>();
        if (!std::isfinite(v)) {
            // The library dumps non-finite numbers as null, which would hide the cause.
            ThrowOutOfRange(what, std::isnan(v) ? "NaN" : (v > 0 ? "infinity" : "-infinity"));
        }
        // Cut toward zero as the library's conversion does; only the cut value must fit.
        const double cut = std::trunc(v);
        if (cut < static_cast<double>(kIntMin) || cut > static_cast<double>(kIntMax)) {
            ThrowOutOfRange(what, value.dump());
        }
        return static_cast<int>(cut);
    }
    default:
        // Booleans convert; every other type raises the library's own type error.
        return value.get<int>();
    }
}

int IntInput(const json& input, const std::string& key, int defaultValue)
{
    if (!input.is_object()) {
        // The library's error for a lookup on something that is not an object.
        return input.value(key, defaultValue);
    }
    auto found = input.find(key);
    if (found == input.end()) {
        return defaultValue;
    }
    return IntValue(*found, "Input '" + key + "'");
}
