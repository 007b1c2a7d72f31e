#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "fractal_types.h"

namespace fernwise {

inline constexpr int historySlotCount = 20;
inline constexpr int historyLineCount = 7;
// Each line lives in a 40-character field with its terminator.
inline constexpr std::size_t historyLineMaxChars = 39;

// The file the history is appended to, relative to the current folder.
inline constexpr const char* historyFileName = "history.txt";

// The platform's own text line end, as a text-mode stream would write it.
#ifdef _WIN32
inline constexpr std::string_view historyLineEnd = "\r\n";
#else
inline constexpr std::string_view historyLineEnd = "\n";
#endif

// The local date and time of a recorded plot; passed in so that the clock
// stays outside the record-keeping and tests can choose it.
struct LocalTime {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0;

    bool operator==(const LocalTime&) const = default;
};

LocalTime currentLocalTime();

// Seven lines: the title with the time, then the four window edges and the
// two type parameters. A slot nobody wrote to holds seven empty lines.
struct HistoryEntry {
    std::array<std::string, historyLineCount> lines;

    bool operator==(const HistoryEntry&) const = default;
};

// The ring of the last twenty recorded plots and what the next plot is
// compared with. The initial count and next slot of 1 are deliberate: slot 0
// is listed as an empty oldest entry until the ring wraps onto it.
struct PlotHistory {
    std::array<HistoryEntry, historySlotCount> ring{};
    std::int32_t historyCount = 1;
    std::int32_t historyNext = 1;
    std::int32_t lastRecordedType = -1;
    FractalParams lastRecordedParams{};

    // The lines the History dialog lists: newest entry first, seven lines
    // per entry, historyCount entries.
    std::vector<std::string> listedLines() const;
};

// Whether a plot starting with this type and working copy is recorded: the
// type, a window edge or a type parameter differs (exactly) from the last
// recorded plot. Iterations, bailout and colouring do not count.
bool historyNeedsRecord(const PlotHistory& history, FractalType type, const FractalParams& params);

// "%.15f", or "%.15E" below 1e-14 in magnitude, always in the C locale's
// form whatever the process locale is. The Parameters dialog shows window
// edges the same way.
std::string formatFixed(double value, int decimals);
std::string formatExponent(double value, int decimals);
std::string formatWindowEdge(double value);

// The seven lines describing a plot. A line the usual format would make
// longer than 39 characters (only values of 1e9 and more in magnitude can)
// shows its value in the "%.15E" form instead, which always fits and keeps
// every significant digit; the title line always fits.
HistoryEntry formatHistoryEntry(FractalType type, const FractalParams& params, const LocalTime& time);

// The bytes one entry appends to history.txt: an empty line, the title with
// the date as month-day-year, then the six value lines, each ended with the
// platform's line end.
std::string historyFileRecord(const HistoryEntry& entry, const LocalTime& time);

// Records a plot at its start: counts it, remembers type and record, fills
// the next slot and appends the entry to `file`. A file that cannot be
// opened or written is skipped silently; the ring entry stands.
void recordHistory(PlotHistory& history, FractalType type, const FractalParams& params, const LocalTime& time,
                   const std::filesystem::path& file = historyFileName);

}  // namespace fernwise
