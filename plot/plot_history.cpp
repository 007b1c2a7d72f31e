#include "plot_history.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace fernwise {
namespace {

// Room for the fixed form of the largest double with its decimals.
constexpr std::size_t numberBufferSize = 400;

std::string toChars(double value, std::chars_format format, int decimals) {
    char buffer[numberBufferSize];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, format, decimals);
    if (error != std::errc{}) return {};
    return std::string(buffer, end);
}

std::string twoDigits(int value) {
    std::string text = std::to_string(value);
    if (text.size() < 2) text.insert(0, 2 - text.size(), '0');
    return text;
}

// A value line, falling back to the exponent form when the usual form would
// not fit in the line's field.
std::string valueLine(std::string_view name, const std::string& usual, double value) {
    std::string line = "     " + std::string(name) + ": " + usual;
    if (line.size() > historyLineMaxChars) line = "     " + std::string(name) + ": " + formatExponent(value, 15);
    return line;
}

void fitLine(std::string& line) {
    if (line.size() > historyLineMaxChars) line.resize(historyLineMaxChars);
}

// Appends one record, or nothing: a record cut short by a full disk would
// run into the next one, so a failed append is taken back and the file
// keeps exactly what it held. Only a regular file is written, and it is
// opened without blocking: a pipe in its place would hold the plot for good
// and a device cannot be cut back. Failures are not reported.
void appendHistoryRecord(const std::filesystem::path& file, const std::string& record) {
    constexpr int flags = O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = ::open(file.c_str(), flags | O_CREAT | O_EXCL, 0666);
    const bool created = fd >= 0;
    if (!created && errno == EEXIST) fd = ::open(file.c_str(), flags | O_CREAT, 0666);
    if (fd < 0) return;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return;
    }
    const off_t earlierSize = info.st_size;
    std::size_t done = 0;
    while (done < record.size()) {
        const ssize_t n = ::write(fd, record.data() + done, record.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    if (done < record.size()) {
        if (created) {
            ::unlink(file.c_str());
        } else {
            [[maybe_unused]] const int cut = ::ftruncate(fd, earlierSize);
        }
    }
    ::close(fd);
}

}  // namespace

LocalTime currentLocalTime() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
#ifdef _WIN32
    localtime_s(&parts, &now);
#else
    localtime_r(&now, &parts);
#endif
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min};
}

std::string formatFixed(double value, int decimals) { return toChars(value, std::chars_format::fixed, decimals); }

std::string formatExponent(double value, int decimals) {
    // to_chars writes the exponent as printf's %e does; %E only differs in case.
    std::string text = toChars(value, std::chars_format::scientific, decimals);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return text;
}

std::string formatWindowEdge(double value) {
    return std::fabs(value) < 1e-14 ? formatExponent(value, 15) : formatFixed(value, 15);
}

bool historyNeedsRecord(const PlotHistory& history, FractalType type, const FractalParams& params) {
    const FractalParams& last = history.lastRecordedParams;
    return static_cast<std::int32_t>(type) != history.lastRecordedType || params.xmin != last.xmin ||
           params.xmax != last.xmax || params.ymin != last.ymin || params.ymax != last.ymax ||
           params.param1 != last.param1 || params.param2 != last.param2;
}

HistoryEntry formatHistoryEntry(FractalType type, const FractalParams& params, const LocalTime& time) {
    int hour = time.hour;
    std::string_view suffix = "AM";
    if (hour >= 13) {
        hour -= 12;
        suffix = "PM";
    } else if (hour == 12) {
        suffix = "PM";
    } else if (hour == 0) {
        hour = 12;
    }

    HistoryEntry entry;
    entry.lines[0] = std::string(fractalTypeName(type)) + "     " + std::to_string(hour) + ":" +
                     twoDigits(time.minute) + " " + std::string(suffix);
    entry.lines[1] = valueLine("xmin", formatWindowEdge(params.xmin), params.xmin);
    entry.lines[2] = valueLine("xmax", formatWindowEdge(params.xmax), params.xmax);
    entry.lines[3] = valueLine("ymin", formatWindowEdge(params.ymin), params.ymin);
    entry.lines[4] = valueLine("ymax", formatWindowEdge(params.ymax), params.ymax);
    entry.lines[5] = valueLine("param1", formatFixed(params.param1, 15), params.param1);
    entry.lines[6] = valueLine("param2", formatFixed(params.param2, 15), params.param2);
    // Nothing above can exceed the field, but the field's size is a promise.
    for (std::string& line : entry.lines) fitLine(line);
    return entry;
}

std::string historyFileRecord(const HistoryEntry& entry, const LocalTime& time) {
    std::string record(historyLineEnd);
    record += entry.lines[0] + " " + std::to_string(time.month) + "-" + std::to_string(time.day) + "-" +
              std::to_string(time.year);
    record += historyLineEnd;
    for (int i = 1; i < historyLineCount; ++i) {
        record += entry.lines[static_cast<std::size_t>(i)];
        record += historyLineEnd;
    }
    return record;
}

void recordHistory(PlotHistory& history, FractalType type, const FractalParams& params, const LocalTime& time,
                   const std::filesystem::path& file) {
    if (history.historyCount != historySlotCount) ++history.historyCount;
    history.lastRecordedType = static_cast<std::int32_t>(type);
    history.lastRecordedParams = params;

    const int slot = std::clamp(history.historyNext, 0, historySlotCount - 1);
    HistoryEntry& entry = history.ring[static_cast<std::size_t>(slot)];
    entry = formatHistoryEntry(type, params, time);

    appendHistoryRecord(file, historyFileRecord(entry, time));

    history.historyNext = slot + 1 == historySlotCount ? 0 : slot + 1;
}

std::vector<std::string> PlotHistory::listedLines() const {
    const int count = std::clamp(historyCount, 0, historySlotCount);
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(count * historyLineCount));
    auto previous = [count](int slot) { return slot - 1 == -1 ? count - 1 : slot - 1; };
    int slot = previous(std::clamp(historyNext, 0, historySlotCount - 1));
    for (int n = 0; n < count; ++n) {
        const HistoryEntry& entry = ring[static_cast<std::size_t>(std::clamp(slot, 0, historySlotCount - 1))];
        lines.insert(lines.end(), entry.lines.begin(), entry.lines.end());
        slot = previous(slot);
    }
    return lines;
}

}  // namespace fernwise
