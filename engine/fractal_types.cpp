#include "fractal_types.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace fernwise {
namespace {

struct TypeInfo {
    std::string_view displayName;
    std::string_view enumerator;
};

constexpr std::array<TypeInfo, fractalTypeCount> typeInfo{{
    {"Julia", "Julia"},
    {"Magnetism I, Q plane", "MagnetismIQ"},
    {"Magnetism I, Z plane", "MagnetismIZ"},
    {"Magnetism II, Q plane", "MagnetismIIQ"},
    {"Magnetism II, Z plane", "MagnetismIIZ"},
    {"Mandelbrot", "Mandelbrot"},
    {"Newton", "Newton"},
    {"Self-Squared Dragons", "SelfSquaredDragons"},
    {"Sine", "Sine"},
    {"Tile Julia", "TileJulia"},
    {"Volterra-Lotka", "VolterraLotka"},
}};

using OC = OutsideColoring;
using IC = InsideColoring;
constexpr MappingMode standardMapping = MappingMode::Standard;

// mappingMode, xmin, xmax, ymin, ymax, param1, param2, iterations, sizeLimit,
// outsideColoring, outsideColor, insideColoring, insideColor, binaryOffset
constexpr std::array<FractalParams, fractalTypeCount> defaultTable{{
    {standardMapping, -2.0, 2.0, -1.5, 1.5, 0.32, 0.043, 256, 256.0, OC::Standard, 0, IC::Solid, 0, 24},
    {standardMapping, -1.5, 4.5, -2.25, 2.25, 0.0, 0.0, 256, 256.0, OC::Standard, 0, IC::ZMag, 0, 16},
    {standardMapping, -5.5, 7.9, -5.0, 5.0, 4.0, 0.0, 256, 256.0, OC::Standard, 0, IC::ZMag, 0, 16},
    {standardMapping, -1.2, 3.2, -1.65, 1.65, 0.0, 0.0, 256, 256.0, OC::Standard, 0, IC::ZMag, 0, 16},
    {standardMapping, -15.0, 15.0, -11.0, 11.0, 2.0, 0.0, 256, 256.0, OC::Standard, 0, IC::ZMag, 0, 16},
    {standardMapping, -2.35, 1.25, -1.35, 1.35, 0.0, 0.0, 256, 256.0, OC::Standard, 0, IC::Solid, 0, 24},
    {standardMapping, -1.6, 1.6, -1.2, 1.2, 3.0, 0.0, 256, 256.0, OC::Standard, 0, IC::Solid, 0, 18},
    {standardMapping, -0.5, 1.5, -0.75, 0.75, 1.6465, 0.964, 384, 4.0, OC::Solid, 0, IC::ZMag, 0, 18},
    {standardMapping, -7.0, 7.0, -5.25, 5.25, 0.1, 0.0, 256, 65536.0, OC::Standard, 0, IC::Solid, 0, 18},
    {standardMapping, -1.6, 1.6, -1.2, 1.2, 0.32, 0.043, 64, 4.0, OC::Standard, 0, IC::Solid, 0, 128},
    {standardMapping, 0.0, 6.0, 0.0, 4.5, 0.739, 0.739, 256, 256.0, OC::Standard, 0, IC::ZMag, 0, 128},
}};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string_view fractalTypeName(FractalType type) {
    auto value = static_cast<std::int32_t>(type);
    return isValidFractalType(value) ? typeInfo[static_cast<std::size_t>(value)].displayName : std::string_view{};
}

std::string_view fractalTypeEnumerator(FractalType type) {
    auto value = static_cast<std::int32_t>(type);
    return isValidFractalType(value) ? typeInfo[static_cast<std::size_t>(value)].enumerator : std::string_view{};
}

bool isValidFractalType(std::int32_t value) { return value >= 0 && value < fractalTypeCount; }

std::optional<FractalType> parseFractalType(std::string_view text) {
    for (std::size_t i = 0; i < typeInfo.size(); ++i) {
        if (equalsIgnoringCase(text, typeInfo[i].displayName) || equalsIgnoringCase(text, typeInfo[i].enumerator) ||
            text == std::to_string(i)) {
            return static_cast<FractalType>(i);
        }
    }
    return std::nullopt;
}

FractalParams defaultParams(FractalType type) { return defaultTable.at(static_cast<std::size_t>(type)); }

FractalCatalog::FractalCatalog() : entries_(defaultTable) {}

}  // namespace fernwise
