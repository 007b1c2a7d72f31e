#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "fractal_types.h"

namespace fernwise {

inline constexpr const char* paramErrorCaption = "Parameter Error";
inline constexpr std::int32_t noParamError = -1;

// Indexed by the code validateParams returns.
extern const std::array<std::string_view, 15> paramErrorMessages;

// What the user entered, field by field, before any check. Integers are wide
// so that an entry far out of range is reported rather than wrapped.
struct ParamEntry {
    MappingMode mappingMode = MappingMode::Standard;
    OutsideColoring outsideColoring = OutsideColoring::Standard;
    InsideColoring insideColoring = InsideColoring::Solid;
    double xmin = 0.0;
    double xmax = 0.0;
    double ymin = 0.0;
    double ymax = 0.0;
    std::int64_t iterations = 0;
    double sizeRadius = 0.0;  // the escape radius as shown; stored squared
    std::int64_t outsideColor = 0;
    std::int64_t insideColor = 0;
    std::int64_t binaryOffset = 0;
    double param1 = 0.0;
    double param2 = 0.0;
};

// The entry that shows `params` unchanged (the radius is the root of the
// stored size limit).
ParamEntry entryFromParams(const FractalParams& params);

// Checks an entry for `type` in the dialog's order and fills `params` as it
// goes: window bounds are swapped and held to the type's limits silently, then
// every range is checked. Returns noParamError, or the code of the first
// failing field (params then holds what was accepted before it).
std::int32_t validateParams(FractalType type, const ParamEntry& entry, FractalParams& params);

// The dialog's reading of a field: a decimal number (or integer) prefix of at
// most the first 29 characters; text that does not start with one reads as 0.
double parseDecimalPrefix(std::string_view text);
std::int64_t parseIntegerPrefix(std::string_view text);

}  // namespace fernwise
