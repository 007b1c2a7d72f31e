#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace fernwise {

// The order is the order of the Parameters dialog's type list and the index
// of the catalogue; it must never be renumbered.
enum class FractalType : std::int32_t {
    Julia = 0,
    MagnetismIQ = 1,
    MagnetismIZ = 2,
    MagnetismIIQ = 3,
    MagnetismIIZ = 4,
    Mandelbrot = 5,
    Newton = 6,
    SelfSquaredDragons = 7,
    Sine = 8,
    TileJulia = 9,
    VolterraLotka = 10,
};

inline constexpr int fractalTypeCount = 11;

// These values are the positions of the dialog's radio buttons in their
// groups, so they are part of the record's meaning.
enum class MappingMode : std::int32_t { Standard = 0, Inversion = 1 };
enum class OutsideColoring : std::int32_t { Standard = 0, Fausto = 1, Binary = 2, Solid = 3, Kirlian = 4 };
enum class InsideColoring : std::int32_t { Solid = 0, ZMag = 1, Bof33 = 2, Bof34 = 3 };

// Everything one plot of one type needs. A plain value: copied whole between
// the catalogue, the working copy and the history, never shared.
struct FractalParams {
    MappingMode mappingMode = MappingMode::Standard;
    double xmin = 0.0;
    double xmax = 0.0;
    double ymin = 0.0;
    double ymax = 0.0;
    double param1 = 0.0;
    double param2 = 0.0;
    std::int32_t iterations = 0;
    double sizeLimit = 0.0;  // the square of the escape radius the user sees
    OutsideColoring outsideColoring = OutsideColoring::Standard;
    std::int32_t outsideColor = 0;
    InsideColoring insideColoring = InsideColoring::Solid;
    std::int32_t insideColor = 0;
    std::int32_t binaryOffset = 0;

    bool operator==(const FractalParams&) const = default;
};

std::string_view fractalTypeName(FractalType type);
std::string_view fractalTypeEnumerator(FractalType type);
bool isValidFractalType(std::int32_t value);
// Accepts a display name, an enumerator or a number 0..10, ignoring case.
std::optional<FractalType> parseFractalType(std::string_view text);

FractalParams defaultParams(FractalType type);

// The eleven live records, one per type; every start begins with the defaults.
class FractalCatalog {
public:
    FractalCatalog();

    FractalParams& operator[](FractalType type) { return entries_[index(type)]; }
    const FractalParams& operator[](FractalType type) const { return entries_[index(type)]; }

    bool operator==(const FractalCatalog&) const = default;

private:
    static std::size_t index(FractalType type) { return static_cast<std::size_t>(type); }
    std::array<FractalParams, fractalTypeCount> entries_;
};

}  // namespace fernwise
