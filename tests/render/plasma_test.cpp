#include <gtest/gtest.h>

#include <deque>

#include "plasma.h"

namespace fernwise {
namespace {

// Hands out a fixed list of numbers and counts what was drawn.
class ScriptedRandom : public RandomSource {
public:
    explicit ScriptedRandom(std::deque<std::int32_t> numbers) : numbers_(std::move(numbers)) {}
    std::int32_t next() override {
        ++drawn;
        if (numbers_.empty()) return 0;
        std::int32_t v = numbers_.front();
        numbers_.pop_front();
        return v;
    }
    int drawn = 0;

private:
    std::deque<std::int32_t> numbers_;
};

TEST(PlasmaField, EveryPixelOfTheSeededFieldIsSetWithinTheAnimatedRange) {
    for (std::uint32_t seed : {1u, 2u, 12345u, 4000000000u}) {
        PlasmaField field;
        SeededRandom random(seed);
        field.draw(random);
        for (int y = 0; y < plasmaFieldHeight; ++y) {
            for (int x = 0; x < plasmaFieldWidth; ++x) {
                ASSERT_TRUE(field.isSet(x, y)) << x << "," << y;
                ASSERT_GE(field.valueAt(x, y), 1);
                ASSERT_LE(field.valueAt(x, y), 235);
            }
        }
    }
}

TEST(PlasmaField, SeededRunsRepeatAndDifferentSeedsDiffer) {
    PlasmaField a, b, c;
    SeededRandom ra(77), rb(77), rc(78);
    a.draw(ra);
    b.draw(rb);
    c.draw(rc);
    int differing = 0;
    for (int y = 0; y < plasmaFieldHeight; ++y) {
        for (int x = 0; x < plasmaFieldWidth; ++x) {
            ASSERT_EQ(a.valueAt(x, y), b.valueAt(x, y));
            if (a.valueAt(x, y) != c.valueAt(x, y)) ++differing;
        }
    }
    EXPECT_GT(differing, 1000);
}

TEST(PlasmaField, SmallFieldFollowsTheMidpointRules) {
    // Corners from 9, 19, 29, 39; then top, bottom, right and left draws.
    ScriptedRandom random({9, 19, 29, 39, 3, 0, 5, 2});
    PlasmaField field(3, 3);
    field.draw(random);
    EXPECT_EQ(field.valueAt(0, 0), 10);
    EXPECT_EQ(field.valueAt(2, 0), 20);
    EXPECT_EQ(field.valueAt(2, 2), 30);
    EXPECT_EQ(field.valueAt(0, 2), 40);
    EXPECT_EQ(field.valueAt(1, 0), 3 % 4 - 2 + 15);  // r - dx + rounded mean of its ends
    EXPECT_EQ(field.valueAt(1, 2), 0 - 2 + 35);
    EXPECT_EQ(field.valueAt(2, 1), 5 % 4 - 2 + 25);
    EXPECT_EQ(field.valueAt(0, 1), 2 % 4 - 2 + 25);
    EXPECT_EQ(field.valueAt(1, 1), (10 + 20 + 30 + 40 + 2) / 4);  // no random term
    EXPECT_EQ(random.drawn, 8);                                   // the quarters are one pixel wide and stop
}

TEST(PlasmaField, MidpointsAlreadySetStayAndCentresAreOverwritten) {
    PlasmaField field(5, 5);
    field.set(0, 0, 100);
    field.set(4, 0, 100);
    field.set(4, 4, 100);
    field.set(0, 4, 100);
    field.set(2, 0, 7);    // top midpoint, as a neighbouring square left it
    field.set(2, 2, 200);  // centre
    ScriptedRandom random({});
    field.subdivide(0, 0, 4, 4, random);
    EXPECT_EQ(field.valueAt(2, 0), 7);
    // The centre is the rounded mean of the four corners.
    EXPECT_EQ(field.valueAt(2, 2), 100);
    // r = 0 gives the mean minus the half side.
    EXPECT_EQ(field.valueAt(2, 4), 100 - 4);
}

TEST(PlasmaField, OneRowStripDrawsNoNumbersForItsEnds) {
    PlasmaField field(9, 1);
    field.set(0, 0, 50);
    field.set(8, 0, 60);
    ScriptedRandom random({});
    field.subdivide(0, 0, 8, 0, random);
    // Widths 8, 4, 2 (each strip recurses into four, two of them alike): two
    // draws (top and bottom) per rectangle, none for the left and right
    // midpoints of a strip without height.
    EXPECT_EQ(random.drawn, 2 * (1 + 4 + 16));
    EXPECT_EQ(field.valueAt(0, 0), 50);
    EXPECT_EQ(field.valueAt(8, 0), 60);
    for (int x = 0; x < 9; ++x) EXPECT_TRUE(field.isSet(x, 0));
}

TEST(PlasmaField, ValuesAreClampedToTheAnimatedRange) {
    PlasmaField field(3, 3);
    field.set(0, 0, 1);
    field.set(2, 0, 1);
    field.set(2, 2, 235);
    field.set(0, 2, 235);
    ScriptedRandom random({0, 3, 0, 0});  // top far below, bottom above
    field.subdivide(0, 0, 2, 2, random);
    EXPECT_EQ(field.valueAt(1, 0), 1);
    EXPECT_EQ(field.valueAt(1, 2), 235);
}

TEST(PlasmaField, ReadBackFindsTheLowestEntryWithTheColor) {
    PaletteState palette;
    loadPalette6(palette.table, plasmaPalette());
    palette.table[9] = palette.table[5];
    buildLogicalPalette(palette);
    PlasmaField field(2, 1);
    field.setReadBack(palette.table, palette.entries);
    field.set(0, 0, 9);
    EXPECT_EQ(field.indexAt(0, 0), 5);
    EXPECT_EQ(field.valueAt(0, 0), 9);
    // The white background matches no entry.
    EXPECT_EQ(field.indexAt(1, 0), noMatchingEntry);
}

TEST(PlasmaPalette, BlackThenNoWhiteAmongTheAnimatedEntries) {
    PaletteTable table{};
    loadPalette6(table, plasmaPalette());
    EXPECT_EQ(table[0], (Rgb{0, 0, 0}));
    EXPECT_EQ(table[1], (Rgb{0, 72, 208}));
    EXPECT_EQ(table[138], (Rgb{252, 252, 0}));
    EXPECT_EQ(table[255], (Rgb{0, 72, 200}));
    for (int i = 1; i <= 235; ++i) EXPECT_NE(table[static_cast<std::size_t>(i)], (Rgb{252, 252, 252}));
}

}  // namespace
}  // namespace fernwise
