#include <gtest/gtest.h>

#include <vector>

#include "color_cycling.h"

namespace fernwise {
namespace {

// Stands in for the hardware palette and keeps what each animation showed.
struct RecordingPalette {
    void animate(int first, int count, const PaletteEntry* colors) {
        calls.push_back({first, count});
        for (int i = 0; i < count; ++i) shown[static_cast<std::size_t>(first + i)] = colors[i];
    }
    struct Call {
        int first;
        int count;
    };
    std::vector<Call> calls;
    PaletteEntries shown{};
};

PaletteEntries numberedEntries() {
    PaletteEntries e{};
    for (int i = 0; i < paletteSize; ++i) {
        e[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                                          static_cast<std::uint8_t>(i / 2), reservedFlag};
    }
    return e;
}

TEST(CycleStep, OneStepMovesColorsTowardLowerEntriesAndShowsOnly1To235) {
    const PaletteEntries before = numberedEntries();
    PaletteEntries entries = before;
    RecordingPalette hardware;
    cycleStep(entries, hardware);

    EXPECT_EQ(entries[0], before[0]);
    EXPECT_EQ(entries[1], before[2]);
    EXPECT_EQ(entries[235], before[236]);
    EXPECT_EQ(entries[254], before[255]);
    EXPECT_EQ(entries[255], before[1]);
    ASSERT_EQ(hardware.calls.size(), 1u);
    EXPECT_EQ(hardware.calls[0].first, 1);
    EXPECT_EQ(hardware.calls[0].count, 235);
    EXPECT_EQ(hardware.shown[1], before[2]);
    EXPECT_EQ(hardware.shown[235], before[236]);
    EXPECT_EQ(hardware.shown[0], PaletteEntry{});    // never animated
    EXPECT_EQ(hardware.shown[236], PaletteEntry{});  // rotated along unseen
}

TEST(CycleStep, AColorReappearsAt235AndAFullTurnTakes255Steps) {
    const PaletteEntries before = numberedEntries();
    PaletteEntries entries = before;
    RecordingPalette hardware;
    // Entry 1's colour leaves the visible range, travels through 255..236
    // and shows again at 235 after 21 steps.
    for (int step = 1; step <= 21; ++step) cycleStep(entries, hardware);
    EXPECT_EQ(hardware.shown[235], before[1]);
    for (int step = 22; step < 255; ++step) {
        cycleStep(entries, hardware);
        ASSERT_NE(entries, before) << step;
    }
    cycleStep(entries, hardware);
    EXPECT_EQ(entries, before);
}

TEST(CycleSpeed, PositionsGiveTheirPauses) {
    ColorCycling cycling;
    EXPECT_FALSE(cycling.cycling);
    EXPECT_EQ(cycling.cycleDelay, 100u);  // until the dialog is first confirmed
    EXPECT_EQ(cycling.cycleSpeedPosition, 5);
    confirmCycleSpeed(cycling);
    EXPECT_EQ(cycling.cycleDelay, 150u);
    EXPECT_EQ(cycleDelayForPosition(0), 200u);
    EXPECT_EQ(cycleDelayForPosition(10), 100u);
    EXPECT_EQ(cycleDelayForPosition(19), 10u);
    EXPECT_EQ(cycleDelayForPosition(20), 0u);
    EXPECT_EQ(cycleDelayForPosition(-3), 200u);
    EXPECT_EQ(cycleDelayForPosition(99), 0u);
}

TEST(CyclePacing, EachStepIsFollowedByThePause) {
    CyclePacing pacing;
    EXPECT_TRUE(pacing.due(5000));
    pacing.stepped(5000, 150);
    EXPECT_FALSE(pacing.due(5149));
    EXPECT_EQ(pacing.wait(5100), 50);
    EXPECT_TRUE(pacing.due(5150));
    pacing.stepped(5150, 0);  // "fast": only yielding
    EXPECT_TRUE(pacing.due(5150));
    pacing.stepped(6000, 200);
    pacing.restart();
    EXPECT_TRUE(pacing.due(6001));
}

}  // namespace
}  // namespace fernwise
