// The numbers the desktop program reads from and writes for its dialogs:
// the fields' decimal and integer readings agree with strtod and strtoll on
// the prefix they accept; a zoom box over any window gives an ordered window;
// history lines of any values and times fit their field, and history.txt's
// record holds exactly those lines.
#include <fuzzer/FuzzedDataProvider.h>

#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "param_validation.h"
#include "plot_history.h"
#include "zoom_box.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The field as the dialog reads it: its first 29 characters without the
// leading white space, where strtod would skip the same.
std::string field(const std::string& text) {
    std::string t = text.substr(0, 29);
    return t.substr(std::min(t.size(), t.find_first_not_of(" \t\n\r\v\f")));
}

void checkDecimal(const std::string& text) {
    const double read = fernwise::parseDecimalPrefix(text);
    const std::string t = field(text);
    std::size_t p = t.empty() || (t[0] != '+' && t[0] != '-') ? 0 : 1;
    const bool number = (p < t.size() && isDigit(t[p])) || (p + 1 < t.size() && t[p] == '.' && isDigit(t[p + 1]));
    // strtod also reads hexadecimal numbers, which the dialog reads as 0.
    const bool hex = p + 1 < t.size() && t[p] == '0' && (t[p + 1] == 'x' || t[p + 1] == 'X');
    if (!number) {
        if (read != 0.0) __builtin_trap();
        return;
    }
    if (hex) return;
    const double expected = std::strtod(t.c_str(), nullptr);
    if (std::memcmp(&read, &expected, sizeof read) != 0) __builtin_trap();
}

void checkInteger(const std::string& text) {
    const std::int64_t read = fernwise::parseIntegerPrefix(text);
    const std::string t = field(text);
    const std::size_t p = t.empty() || (t[0] != '+' && t[0] != '-') ? 0 : 1;
    if (p >= t.size() || !isDigit(t[p])) {
        if (read != 0) __builtin_trap();
        return;
    }
    // Read far beyond any accepted range, capped at 2^40.
    const unsigned long long magnitude = std::strtoull(t.c_str() + p, nullptr, 10);
    const std::int64_t capped = static_cast<std::int64_t>(std::min(magnitude, 1ULL << 40));
    if (read != (t[0] == '-' ? -capped : capped)) __builtin_trap();
}

void checkZoom(FuzzedDataProvider& input) {
    fernwise::FractalParams params{};
    params.xmin = input.ConsumeFloatingPoint<double>();
    params.ymax = input.ConsumeFloatingPoint<double>();
    const double spanX = input.ConsumeFloatingPoint<double>();
    const double spanY = input.ConsumeFloatingPoint<double>();
    const int width = input.ConsumeIntegralInRange(1, 65535);
    const int height = input.ConsumeIntegralInRange(1, 65535);
    int x1 = input.ConsumeIntegralInRange(0, width - 1);
    int x2 = input.ConsumeIntegralInRange(0, width - 1);
    int y1 = input.ConsumeIntegralInRange(0, height - 1);
    int y2 = input.ConsumeIntegralInRange(0, height - 1);
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    const fernwise::FractalParams zoomed = fernwise::zoomedParams(params, x1, y1, x2, y2, width, height, spanX, spanY);
    const bool finite = std::isfinite(params.xmin) && std::isfinite(params.ymax) && std::isfinite(spanX) &&
                        std::isfinite(spanY) && spanX >= 0 && spanY >= 0;
    if (finite && !(zoomed.xmin <= zoomed.xmax && zoomed.ymin <= zoomed.ymax)) __builtin_trap();
    (void)fernwise::xmaxAdjustedText(zoomed.xmax);
    (void)fernwise::yminAdjustedText(zoomed.ymin);
    const int screenWidth = input.ConsumeIntegralInRange(0, 1 << 20);
    const auto edges = fernwise::statusPartEdges(screenWidth, input.ConsumeIntegralInRange(1, 7));
    for (std::size_t i = 1; i < edges.size(); ++i) {
        if (edges[i - 1] > edges[i]) __builtin_trap();
    }
}

void checkHistory(FuzzedDataProvider& input) {
    fernwise::FractalParams params{};
    params.xmin = input.ConsumeFloatingPoint<double>();
    params.xmax = input.ConsumeFloatingPoint<double>();
    params.ymin = input.ConsumeFloatingPoint<double>();
    params.ymax = input.ConsumeFloatingPoint<double>();
    params.param1 = input.ConsumeFloatingPoint<double>();
    params.param2 = input.ConsumeFloatingPoint<double>();
    fernwise::LocalTime time;
    time.year = input.ConsumeIntegral<int>();
    time.month = input.ConsumeIntegral<int>();
    time.day = input.ConsumeIntegral<int>();
    time.hour = input.ConsumeIntegralInRange(0, 23);
    time.minute = input.ConsumeIntegralInRange(0, 59);
    const auto type =
        static_cast<fernwise::FractalType>(input.ConsumeIntegralInRange(0, fernwise::fractalTypeCount - 1));
    const fernwise::HistoryEntry entry = fernwise::formatHistoryEntry(type, params, time);
    std::string lines;
    for (const std::string& line : entry.lines) {
        if (line.empty() || line.size() > fernwise::historyLineMaxChars) __builtin_trap();
        for (const char c : line) {
            if (c < ' ' || c > '~') __builtin_trap();
        }
    }
    const std::string record = fernwise::historyFileRecord(entry, time);
    const std::string end(fernwise::historyLineEnd);
    std::string expected = end + entry.lines[0] + " " + std::to_string(time.month) + "-" + std::to_string(time.day) +
                           "-" + std::to_string(time.year) + end;
    for (std::size_t i = 1; i < entry.lines.size(); ++i) expected += entry.lines[i] + end;
    if (record != expected) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool cLocale = std::setlocale(LC_ALL, "C") != nullptr;
    (void)cLocale;
    FuzzedDataProvider input(data, size);
    const std::string text = input.ConsumeRandomLengthString(40);
    checkDecimal(text);
    checkInteger(text);
    checkZoom(input);
    checkHistory(input);
    return 0;
}
