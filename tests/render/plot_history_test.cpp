#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cfloat>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "../fault_injection.h"
#include "plot_history.h"

namespace fernwise {
namespace {

namespace fs = std::filesystem;

const LocalTime afternoon{2026, 12, 6, 15, 7};

// A fresh folder per test, removed afterwards.
class HistoryFolder : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device seed;
        folder = fs::temp_directory_path() / ("fernwise-history-" + std::to_string(seed()));
        fs::create_directories(folder);
        file = folder / historyFileName;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string fileBytes() const {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path folder;
    fs::path file;
};

std::string joined(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (std::string_view line : lines) {
        text += line;
        text += historyLineEnd;
    }
    return text;
}

TEST_F(HistoryFolder, RecordLayoutIsAppendedExactly) {
    PlotHistory history;
    const FractalParams mandelbrot = defaultParams(FractalType::Mandelbrot);
    recordHistory(history, FractalType::Mandelbrot, mandelbrot, afternoon, file);

    const std::string first =
        joined({"", "Mandelbrot     3:07 PM 12-6-2026", "     xmin: -2.350000000000000", "     xmax: 1.250000000000000",
                "     ymin: -1.350000000000000", "     ymax: 1.350000000000000", "     param1: 0.000000000000000",
                "     param2: 0.000000000000000"});
    EXPECT_EQ(fileBytes(), first);

    // A second plot is appended after the first; nothing is rewritten.
    FractalParams julia = defaultParams(FractalType::Julia);
    julia.xmin = 0.0;
    recordHistory(history, FractalType::Julia, julia, {2027, 1, 2, 9, 30}, file);
    const std::string second =
        joined({"", "Julia     9:30 AM 1-2-2027", "     xmin: 0.000000000000000E+00", "     xmax: 2.000000000000000",
                "     ymin: -1.500000000000000", "     ymax: 1.500000000000000", "     param1: 0.320000000000000",
                "     param2: 0.043000000000000"});
    EXPECT_EQ(fileBytes(), first + second);
}

TEST_F(HistoryFolder, UnwritableFileIsSkippedButTheRingEntryStands) {
    PlotHistory history;
    const fs::path missingFolder = folder / "no-such-folder" / historyFileName;
    recordHistory(history, FractalType::Sine, defaultParams(FractalType::Sine), afternoon, missingFolder);
    // A folder in the file's place cannot be opened for appending either.
    fs::create_directories(folder / "blocked" / historyFileName);
    recordHistory(history, FractalType::Newton, defaultParams(FractalType::Newton), afternoon,
                  folder / "blocked" / historyFileName);

    EXPECT_FALSE(fs::exists(missingFolder));
    EXPECT_EQ(history.historyCount, 3);
    EXPECT_EQ(history.historyNext, 3);
    EXPECT_EQ(history.ring[1].lines[0], "Sine     3:07 PM");
    EXPECT_EQ(history.ring[2].lines[0], "Newton     3:07 PM");
}

TEST_F(HistoryFolder, AFullDiskLeavesTheFileAsItWasAndTheNextRecordWhole) {
    PlotHistory history;
    recordHistory(history, FractalType::Mandelbrot, defaultParams(FractalType::Mandelbrot), afternoon, file);
    const std::string earlier = fileBytes();
    {
        // Room for part of the next record only.
        test::FileSizeLimit full(earlier.size() + 40);
        recordHistory(history, FractalType::Julia, defaultParams(FractalType::Julia), afternoon, file);
    }
    {
        test::FileSizeLimit full(40);
        recordHistory(history, FractalType::Sine, defaultParams(FractalType::Sine), afternoon, folder / "new.txt");
    }
    EXPECT_EQ(fileBytes(), earlier);
    EXPECT_FALSE(fs::exists(folder / "new.txt")) << "no empty file is left behind";
    EXPECT_EQ(history.historyCount, 4);
    EXPECT_EQ(history.ring[2].lines[0], "Julia     3:07 PM");

    // With room again, the next record follows the earlier ones directly.
    recordHistory(history, FractalType::Newton, defaultParams(FractalType::Newton), afternoon, file);
    EXPECT_EQ(fileBytes(), earlier + historyFileRecord(history.ring[4], afternoon));

    // A device that is always full: skipped, and the device stays.
    if (fs::exists("/dev/full")) {
        recordHistory(history, FractalType::Sine, defaultParams(FractalType::Sine), afternoon, "/dev/full");
        EXPECT_TRUE(fs::is_character_file("/dev/full"));
    }
}

TEST_F(HistoryFolder, AReadOnlyFileOrFolderIsSkippedSilently) {
    PlotHistory history;
    recordHistory(history, FractalType::Mandelbrot, defaultParams(FractalType::Mandelbrot), afternoon, file);
    const std::string earlier = fileBytes();
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    const fs::perms readAndSearch = readOnly | fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    fs::permissions(file, readOnly);
    fs::permissions(folder, readAndSearch);
    {
        test::WithoutPrivileges user;
        if (!user.bound()) GTEST_SKIP() << "cannot leave the superuser here";
        recordHistory(history, FractalType::Julia, defaultParams(FractalType::Julia), afternoon, file);
        recordHistory(history, FractalType::Sine, defaultParams(FractalType::Sine), afternoon, folder / "new.txt");
    }
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(fileBytes(), earlier);
    EXPECT_FALSE(fs::exists(folder / "new.txt"));
    EXPECT_EQ(history.historyCount, 4);
    EXPECT_EQ(history.ring[3].lines[0], "Sine     3:07 PM");
}

TEST_F(HistoryFolder, APipeInPlaceOfTheFileIsSkippedWithoutWaiting) {
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    PlotHistory history;
    recordHistory(history, FractalType::Julia, defaultParams(FractalType::Julia), afternoon, file);
    EXPECT_TRUE(fs::is_fifo(file));
    EXPECT_EQ(history.historyCount, 2) << "the ring entry stands";
}

TEST_F(HistoryFolder, RingWrapsAfterTwentyRecordsAndListsNewestFirst) {
    PlotHistory history;
    EXPECT_EQ(history.historyCount, 1);
    EXPECT_EQ(history.historyNext, 1);
    EXPECT_EQ(history.lastRecordedType, -1);

    FractalParams params = defaultParams(FractalType::Julia);
    auto plot = [&](int n) {
        params.param1 = n / 100.0;
        recordHistory(history, FractalType::Julia, params, {2026, 12, 6, 10, n}, file);
    };

    plot(1);
    EXPECT_EQ(history.historyCount, 2);
    EXPECT_EQ(history.historyNext, 2);
    EXPECT_EQ(history.lastRecordedType, static_cast<int>(FractalType::Julia));
    EXPECT_EQ(history.lastRecordedParams, params);
    std::vector<std::string> lines = history.listedLines();
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[0], "Julia     10:01 AM");
    EXPECT_EQ(lines[5], "     param1: 0.010000000000000");
    for (std::size_t i = 7; i < 14; ++i) EXPECT_EQ(lines[i], "") << i;

    for (int n = 2; n <= 19; ++n) plot(n);
    EXPECT_EQ(history.historyCount, 20);
    EXPECT_EQ(history.historyNext, 0);
    // Slot 0 is still the empty start entry, listed last.
    lines = history.listedLines();
    ASSERT_EQ(lines.size(), 140u);
    EXPECT_EQ(lines[0], "Julia     10:19 AM");
    EXPECT_EQ(lines[133], "");

    plot(20);
    EXPECT_EQ(history.historyNext, 1);
    EXPECT_EQ(history.ring[0].lines[0], "Julia     10:20 AM");

    plot(21);
    EXPECT_EQ(history.historyCount, 20);
    EXPECT_EQ(history.historyNext, 2);
    EXPECT_EQ(history.ring[1].lines[0], "Julia     10:21 AM");
    lines = history.listedLines();
    ASSERT_EQ(lines.size(), 140u);
    auto title = [](int n) { return "Julia     10:" + std::string(n < 10 ? "0" : "") + std::to_string(n) + " AM"; };
    // Entry k from the top is plot 21 - k: 21, 20, ..., 2; plot 1 is gone.
    for (int k = 0; k < 20; ++k) EXPECT_EQ(lines[static_cast<std::size_t>(k * 7)], title(21 - k)) << k;
}

TEST(History, OnlyTypeWindowAndTypeParametersCountAsAChange) {
    PlotHistory history;
    const FractalParams base = defaultParams(FractalType::Mandelbrot);
    EXPECT_TRUE(historyNeedsRecord(history, FractalType::Mandelbrot, base));
    recordHistory(history, FractalType::Mandelbrot, base, afternoon, fs::path());
    EXPECT_FALSE(historyNeedsRecord(history, FractalType::Mandelbrot, base));

    FractalParams other = base;
    other.iterations = 1000;
    other.sizeLimit = 4.0;
    other.outsideColoring = OutsideColoring::Kirlian;
    other.insideColoring = InsideColoring::Bof34;
    other.mappingMode = MappingMode::Inversion;
    EXPECT_FALSE(historyNeedsRecord(history, FractalType::Mandelbrot, other));

    EXPECT_TRUE(historyNeedsRecord(history, FractalType::Julia, base));
    double FractalParams::*fields[] = {&FractalParams::xmin, &FractalParams::xmax,   &FractalParams::ymin,
                                       &FractalParams::ymax, &FractalParams::param1, &FractalParams::param2};
    for (auto field : fields) {
        FractalParams changed = base;
        changed.*field = std::nextafter(changed.*field, 10.0);
        EXPECT_TRUE(historyNeedsRecord(history, FractalType::Mandelbrot, changed));
    }
}

TEST(History, TwelveHourClock) {
    const FractalParams params = defaultParams(FractalType::Newton);
    auto title = [&](int hour, int minute) {
        return formatHistoryEntry(FractalType::Newton, params, {2026, 1, 1, hour, minute}).lines[0];
    };
    EXPECT_EQ(title(0, 5), "Newton     12:05 AM");
    EXPECT_EQ(title(1, 0), "Newton     1:00 AM");
    EXPECT_EQ(title(11, 59), "Newton     11:59 AM");
    EXPECT_EQ(title(12, 30), "Newton     12:30 PM");
    EXPECT_EQ(title(13, 4), "Newton     1:04 PM");
    EXPECT_EQ(title(23, 45), "Newton     11:45 PM");
}

TEST(History, WindowEdgesUseTheExponentFormBelowOneEMinus14) {
    FractalParams params = defaultParams(FractalType::Julia);
    params.xmin = 1e-15;
    params.xmax = 1e-14;
    params.ymin = -0.0;
    params.ymax = 0.5;
    params.param1 = 1e-15;  // the parameters are always fixed-point
    params.param2 = -0.125;
    const HistoryEntry entry = formatHistoryEntry(FractalType::Julia, params, afternoon);
    EXPECT_EQ(entry.lines[1], "     xmin: 1.000000000000000E-15");
    EXPECT_EQ(entry.lines[2], "     xmax: 0.000000000000010");
    EXPECT_EQ(entry.lines[3], "     ymin: -0.000000000000000E+00");
    EXPECT_EQ(entry.lines[4], "     ymax: 0.500000000000000");
    EXPECT_EQ(entry.lines[5], "     param1: 0.000000000000001");
    EXPECT_EQ(entry.lines[6], "     param2: -0.125000000000000");
}

TEST(History, OverlongValuesSwitchToTheExponentFormWithinThirtyNineCharacters) {
    FractalParams params{};
    params.xmin = -1e10;  // exactly 39 characters: kept in fixed form
    params.xmax = -1e11;  // 40 characters in fixed form
    params.ymin = -DBL_MAX;
    params.ymax = DBL_MAX;
    params.param1 = 1e9;   // 39 characters
    params.param2 = -1e9;  // 40 characters
    const HistoryEntry entry = formatHistoryEntry(FractalType::MagnetismIIQ, params, {2026, 1, 1, 23, 59});
    EXPECT_EQ(entry.lines[0], "Magnetism II, Q plane     11:59 PM");
    EXPECT_EQ(entry.lines[1], "     xmin: -10000000000.000000000000000");
    EXPECT_EQ(entry.lines[2], "     xmax: -1.000000000000000E+11");
    EXPECT_EQ(entry.lines[3], "     ymin: -1.797693134862316E+308");
    EXPECT_EQ(entry.lines[4], "     ymax: 1.797693134862316E+308");
    EXPECT_EQ(entry.lines[5], "     param1: 1000000000.000000000000000");
    EXPECT_EQ(entry.lines[6], "     param2: -1.000000000000000E+09");
    for (const std::string& line : entry.lines) EXPECT_LE(line.size(), historyLineMaxChars) << line;
}

}  // namespace
}  // namespace fernwise
