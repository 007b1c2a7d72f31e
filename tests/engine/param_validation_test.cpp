#include <gtest/gtest.h>

#include "param_validation.h"

namespace fernwise {
namespace {

struct Validation {
    FractalType type;
    ParamEntry entry;
    FractalParams params;

    explicit Validation(FractalType t) : type(t), entry(entryFromParams(defaultParams(t))), params(defaultParams(t)) {}
    std::int32_t run() { return validateParams(type, entry, params); }
    std::string_view message() {
        std::int32_t code = run();
        return code == noParamError ? std::string_view{} : paramErrorMessages[static_cast<std::size_t>(code)];
    }
};

TEST(Validation, DefaultsOfEveryTypeAreAccepted) {
    for (int t = 0; t < fractalTypeCount; ++t) {
        Validation v(static_cast<FractalType>(t));
        EXPECT_EQ(v.run(), noParamError) << fractalTypeName(v.type);
        EXPECT_EQ(v.params, defaultParams(v.type)) << fractalTypeName(v.type);
    }
}

TEST(Validation, WindowBoundsAreSwappedAndHeldToTheTypeLimits) {
    Validation m(FractalType::Mandelbrot);
    m.entry.xmin = 1.0;
    m.entry.xmax = -1.0;
    EXPECT_EQ(m.run(), noParamError);
    EXPECT_EQ(m.params.xmin, -1.0);
    EXPECT_EQ(m.params.xmax, 1.0);

    m.entry.xmin = -100.0;
    m.entry.xmax = 100.0;
    m.entry.ymin = -100.0;
    m.entry.ymax = 100.0;
    EXPECT_EQ(m.run(), noParamError);
    EXPECT_EQ(m.params.xmin, -6.0);
    EXPECT_EQ(m.params.xmax, 6.0);
    EXPECT_EQ(m.params.ymin, -4.5);
    EXPECT_EQ(m.params.ymax, 4.5);

    Validation n(FractalType::Newton);
    n.entry.xmin = -100.0;
    n.entry.xmax = 100.0;
    EXPECT_EQ(n.run(), noParamError);
    EXPECT_EQ(n.params.xmin, -20.0);
    EXPECT_EQ(n.params.xmax, 20.0);
}

TEST(Validation, EqualBoundsAfterClampingAreRejected) {
    Validation m(FractalType::Mandelbrot);
    m.entry.xmin = 0.0;
    m.entry.xmax = 0.0;
    EXPECT_EQ(m.message(), "xmin and xmax must not be equal");
    m.entry.xmin = 6.0;
    m.entry.xmax = 9.0;
    EXPECT_EQ(m.message(), "xmin and xmax must not be equal");
    // Both beyond the limit would otherwise make an inverted window.
    m.entry.xmin = 9.0;
    m.entry.xmax = 10.0;
    EXPECT_EQ(m.message(), "xmin and xmax must not be equal");
    m.entry.xmin = -1.0;
    m.entry.ymin = 2.0;
    m.entry.ymax = 2.0;
    EXPECT_EQ(m.message(), "ymin and ymax must not be equal");
}

TEST(Validation, FirstFailingFieldDecidesTheMessage) {
    Validation m(FractalType::Mandelbrot);
    m.entry.xmin = m.entry.xmax = 1.0;
    m.entry.iterations = 0;
    EXPECT_EQ(m.message(), "xmin and xmax must not be equal");
    m.entry.xmin = -1.0;
    EXPECT_EQ(m.message(), "iteration range: 1 to 16384");
    m.entry.iterations = 16384;
    m.entry.sizeRadius = 0.5;
    EXPECT_EQ(m.message(), "size range: 1.0 to 256.0");
    m.entry.sizeRadius = 300.0;
    EXPECT_EQ(m.message(), "size range: 1.0 to 256.0");
    m.entry.sizeRadius = 2.0;
    m.entry.insideColor = 256;
    EXPECT_EQ(m.message(), "color attribute range: 0 to 255");
    m.entry.insideColor = 0;
    m.entry.binaryOffset = 0;
    EXPECT_EQ(m.message(), "offset attribute range: 1 to 255");
    m.entry.binaryOffset = 1;
    EXPECT_EQ(m.run(), noParamError);
    EXPECT_EQ(m.params.sizeLimit, 4.0);
}

TEST(Validation, TypeSpecificRanges) {
    struct Case {
        FractalType type;
        double param1, param2;
        std::string_view message;
    };
    const Case cases[] = {
        {FractalType::Julia, 0.6, 0.0, "cx range: -2.0 to 0.5"},
        {FractalType::TileJulia, 0.0, 1.6, "cy range: -1.5 to 1.5"},
        {FractalType::MagnetismIZ, -2.1, 0.0, "qx range: -2.0 to 5.0"},
        {FractalType::MagnetismIIZ, 1.0, -0.1, "qy range: 0.0 to 5.0"},
        {FractalType::Newton, 25.0, 0.0, "degree range: 2 to 20"},
        {FractalType::Newton, 1.5, 0.0, "degree range: 2 to 20"},
        {FractalType::Newton, 3.0, -1e300, ""},
        {FractalType::SelfSquaredDragons, 4.5, 0.0, "cx range: -2.0 to 4.0"},
        {FractalType::SelfSquaredDragons, 1.0, 2.5, "cy range: -2.0 to 2.0"},
        {FractalType::Sine, 4.5, 0.0, "epsilon range: -4.0 to 4.0"},
        {FractalType::Sine, 1.0, 1e9, ""},
        {FractalType::VolterraLotka, 0.5, 1.5, "h and p range: 0.0 to 1.0"},
        {FractalType::VolterraLotka, -0.5, 0.5, "h and p range: 0.0 to 1.0"},
    };
    for (const Case& c : cases) {
        Validation v(c.type);
        v.entry.param1 = c.param1;
        v.entry.param2 = c.param2;
        EXPECT_EQ(v.message(), c.message) << fractalTypeName(c.type) << " " << c.param1 << " " << c.param2;
    }
    Validation sine(FractalType::Sine);
    sine.params.param2 = 7.0;  // not read: keeps what it held
    sine.entry.param2 = 1.0;
    EXPECT_EQ(sine.run(), noParamError);
    EXPECT_EQ(sine.params.param2, 7.0);

    Validation m(FractalType::Mandelbrot);
    m.entry.param1 = 99.0;
    m.entry.param2 = -99.0;
    EXPECT_EQ(m.run(), noParamError);
    EXPECT_EQ(m.params.param1, 0.0);
    EXPECT_EQ(m.params.param2, 0.0);
}

TEST(Parsing, DecimalAndIntegerPrefixes) {
    EXPECT_EQ(parseDecimalPrefix("-2.350000000000000"), -2.35);
    EXPECT_EQ(parseDecimalPrefix("0.000000000000000E+00"), 0.0);
    EXPECT_EQ(parseDecimalPrefix("  1.5e2xyz"), 150.0);
    EXPECT_EQ(parseDecimalPrefix("1.5e"), 1.5);
    EXPECT_EQ(parseDecimalPrefix(".5"), 0.5);
    EXPECT_EQ(parseDecimalPrefix("abc"), 0.0);
    EXPECT_EQ(parseDecimalPrefix("nan"), 0.0);
    EXPECT_EQ(parseDecimalPrefix("inf"), 0.0);
    EXPECT_EQ(parseDecimalPrefix("0x10"), 0.0);
    EXPECT_EQ(parseDecimalPrefix("-"), 0.0);
    EXPECT_EQ(parseDecimalPrefix("1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(parseDecimalPrefix("-1e-999"), -0.0);
    // Only the first 29 characters of a field are read.
    EXPECT_EQ(parseDecimalPrefix("0.0000000000000000000000000001"), 0.0);
    EXPECT_EQ(parseDecimalPrefix(std::string(28, '0') + "15"), 1.0);

    EXPECT_EQ(parseIntegerPrefix("256"), 256);
    EXPECT_EQ(parseIntegerPrefix(" -12abc"), -12);
    EXPECT_EQ(parseIntegerPrefix("3.9"), 3);
    EXPECT_EQ(parseIntegerPrefix("x1"), 0);
    EXPECT_GT(parseIntegerPrefix("99999999999999999999999"), 16384);
    EXPECT_LT(parseIntegerPrefix("-99999999999999999999999"), 0);
}

TEST(Validation, NotANumberBoundsAreRejected) {
    Validation m(FractalType::Mandelbrot);
    m.entry.xmin = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(m.message(), "xmin and xmax must not be equal");
    m.entry.xmin = -1.0;
    m.entry.ymax = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(m.message(), "ymin and ymax must not be equal");
}

}  // namespace
}  // namespace fernwise
