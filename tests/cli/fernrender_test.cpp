#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <png.h>

#include "../fault_injection.h"
#include "fernrender.h"
#include "render_options.h"

namespace fernwise {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Outcome run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    int status = runFernrender(args, out, err);
    return {status, out.str(), err.str()};
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class Fernrender : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() /
                   ("fernrender-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const char* name) { return (dir / name).string(); }
};

TEST(RenderOptions, TypesByNameEnumeratorOrNumberAndOverrides) {
    for (const char* spelling : {"Magnetism I, Q plane", "magnetismiq", "1", "MAGNETISMIQ"}) {
        ParseResult r = parseRenderOptions({"--type", spelling, "out.ppm"});
        ASSERT_TRUE(r.options) << spelling;
        EXPECT_EQ(r.options->type, FractalType::MagnetismIQ);
        EXPECT_EQ(r.options->entry.xmin, -1.5);  // that type's defaults
    }
    ParseResult r = parseRenderOptions({"--xmin", "-1", "--type", "Julia", "--size", "7x3", "--size-limit", "2",
                                        "--outside", "kirlian", "--inside", "bof34", "--mapping", "inversion",
                                        "--periodicity", "off", "--special-coloring", "on", "x.pgm"});
    ASSERT_TRUE(r.options);
    EXPECT_EQ(r.options->type, FractalType::Julia);
    EXPECT_EQ(r.options->entry.xmin, -1.0);  // the override survives the type's defaults
    EXPECT_EQ(r.options->width, 7);
    EXPECT_EQ(r.options->height, 3);
    EXPECT_EQ(r.options->entry.sizeRadius, 2.0);
    EXPECT_EQ(r.options->entry.outsideColoring, OutsideColoring::Kirlian);
    EXPECT_EQ(r.options->entry.insideColoring, InsideColoring::Bof34);
    EXPECT_EQ(r.options->entry.mappingMode, MappingMode::Inversion);
    EXPECT_FALSE(r.options->periodicity);
    EXPECT_TRUE(r.options->specialColoring);
}

TEST(RenderOptions, BothFormsOfValuesAndTheLargestSizes) {
    auto r = parseRenderOptions({"--size=1000000x1000000", "--iterations", "77", "--type=Julia", "--", "-o.png"});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->width, 1000000);
    EXPECT_EQ(r.options->entry.iterations, 77);
    EXPECT_EQ(r.options->type, FractalType::Julia);
    EXPECT_EQ(r.options->output, "-o.png");
    r = parseRenderOptions({"--quiet", "--", "--.png"});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->output, "--.png");
    r = parseRenderOptions({"--size", "2147483647x1", "--rows=0:1", "o.png"});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->rowCount, 1);
}

TEST(RenderOptions, BadOptionsAreUsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--type", "Snowflake", "o.ppm"},
        {"--size", "0x10", "o.ppm"},
        {"--size", "2147483648x10", "o.ppm"},
        {"--size", "40000x40000", "o.gif"},
        {"--size-limit", "-5", "o.ppm"},
        {"--aspect", "5e307", "o.ppm"},
        {"--outside-color=256", "o.ppm"},
        {"--quiet=yes", "o.ppm"},
        {"--size", "10", "o.ppm"},
        {"--xmin", "nan", "o.ppm"},
        {"--xmin", "1e999", "o.ppm"},
        {"--xmin", "1.5x", "o.ppm"},
        {"--iterations", "ten", "o.ppm"},
        {"--iterations", "99999999999999999999999", "o.ppm"},
        {"--aspect", "0", "o.ppm"},
        {"--periodicity", "maybe", "o.ppm"},
        {"--threads", "0", "o.ppm"},
        {"--threads", "two", "o.ppm"},
        {"--bogus", "o.ppm"},
        {"a.ppm", "b.ppm"},
        {"o.ppm", "--xmax"},
    };
    for (const auto& args : bad) {
        Outcome r = run(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_NE(r.err.find("usage: fernrender"), std::string::npos);
    }
}

TEST_F(Fernrender, HelpAndParameterMessages) {
    Outcome help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--display-bits"), std::string::npos);

    Outcome iterations = run({"--iterations", "0", path("a.ppm")});
    EXPECT_EQ(iterations.status, 2);
    EXPECT_EQ(iterations.err, "fernrender: iteration range: 1 to 16384\n");
    Outcome degree = run({"--type", "Newton", "--param1", "25", path("a.ppm")});
    EXPECT_EQ(degree.err, "fernrender: degree range: 2 to 20\n");
    EXPECT_FALSE(fs::exists(path("a.ppm")));

    Outcome depth = run({"--display-bits", "4", path("a.ppm")});
    EXPECT_EQ(depth.status, 1);
    EXPECT_EQ(depth.err.rfind("fernrender: Your graphics mode uses only 4 bits", 0), 0u);
    EXPECT_EQ(run({"--display-bits", "16", "--true-color", path("a.ppm")}).status, 2);
}

TEST_F(Fernrender, WritesNetpbmAndReportsUnwritableTargets) {
    ASSERT_EQ(run({"--size", "7x3", path("a.pgm")}).status, 0);
    std::string pgm = readFile(path("a.pgm"));
    EXPECT_EQ(pgm.substr(0, 11), "P5\n7 3\n255\n");
    EXPECT_EQ(pgm.size(), 11u + 21u);
    ASSERT_EQ(run({"--size", "7x3", "--display-bits", "8", path("a.ppm")}).status, 0);
    EXPECT_EQ(readFile(path("a.ppm")).size(), 11u + 63u);

    Outcome unwritable = run({"--size", "7x3", (dir / "missing" / "x.ppm").string()});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("cannot write"), std::string::npos);
    EXPECT_EQ(run({"--size", "7x3", path("a.gif.unknown")}).status, 2);
}

TEST_F(Fernrender, MapFileErrorsGiveTheReadersMessages) {
    std::ofstream(path("bad.map")) << "1 2 3\n4,5,6\n";
    Outcome bad = run({"--map", path("bad.map"), "--size", "4x4", path("a.ppm")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err.rfind("fernrender: cannot read " + path("bad.map") + ": ", 0), 0u) << bad.err;
    Outcome missing = run({"--map", path("none.map"), "--size", "4x4", path("a.ppm")});
    EXPECT_EQ(missing.err, "fernrender: cannot open " + path("none.map") + ": No such file or directory\n");
    Outcome folder = run({"--map", dir.string(), "--size", "4x4", path("a.ppm")});
    EXPECT_EQ(folder.err, "fernrender: cannot open " + dir.string() + ": not a regular file\n");
    EXPECT_EQ(
        run({"--map", std::string(FERNWISE_TESTDATA_DIR) + "/maps/rings-crlf.map", "--size", "4x4", path("a.ppm")})
            .status,
        0);
}

TEST_F(Fernrender, ExtremeButValidRequestsGiveEveryPixelAColor) {
    const std::vector<std::vector<std::string>> cases = {
        {"--size", "1x1"},
        {"--size", "1601x1"},
        {"--size", "1x5", "--type", "Sine", "--outside", "kirlian"},
        {"--xmin", "-1e-300", "--xmax", "1e-300", "--ymin", "-1e-300", "--ymax", "1e-300", "--size", "9x9"},
        {"--type", "MagnetismIIZ", "--special-coloring", "on", "--size", "9x9", "--true-color"},
        {"--type", "Newton", "--outside", "binary", "--param1", "20", "--size", "9x9"},
        {"--outside", "fausto", "--size", "9x9", "--true-color", "--iterations", "1"},
        // Bounds are held to the type's limits; the core's own tests take them further.
        {"--xmin", "-1e300", "--xmax", "1e300", "--ymin", "-1e300", "--ymax", "1e300", "--size", "9x9", "--true-color"},
        {"--type", "Sine", "--xmin", "0", "--xmax", "5e-324", "--ymin", "-5e-324", "--ymax", "5e-324", "--size", "9x9"},
        {"--type", "Newton", "--param1", "20", "--param2", "1e300", "--size", "9x9", "--true-color"},
        // Every point outside the escape radius before its first pass: the
        // vector loops once waited for a point to end that never started.
        {"--type", "MagnetismIZ", "--xmin", "10", "--xmax", "20", "--ymin", "10", "--ymax", "20", "--size-limit", "1",
         "--size", "64x64"},
        {"--type", "Julia", "--xmin", "5", "--xmax", "6", "--ymin", "4", "--ymax", "4.5", "--size-limit", "2", "--size",
         "64x64", "--threads", "3"},
    };
    for (auto args : cases) {
        args.push_back(path("e.ppm"));
        EXPECT_EQ(run(args).status, 0) << args[1];
    }
}

TEST_F(Fernrender, AFailedWriteKeepsTheEarlierFileAndADeviceStaysADevice) {
    std::ofstream(path("kept.ppm")) << "earlier";
    {
        test::FileSizeLimit full(20);
        Outcome o = run({"--size", "7x3", path("kept.ppm")});
        EXPECT_EQ(o.status, 1);
        EXPECT_NE(o.err.find("cannot write"), std::string::npos);
    }
    EXPECT_EQ(readFile(path("kept.ppm")), "earlier");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "no temporary file left";

    // A link to a device that is always full: the device is written, never replaced.
    if (fs::exists("/dev/full")) {
        fs::create_symlink("/dev/full", path("full.ppm"));
        EXPECT_EQ(run({"--size", "7x3", path("full.ppm")}).status, 1);
        EXPECT_TRUE(fs::is_character_file("/dev/full"));
        EXPECT_TRUE(fs::is_symlink(path("full.ppm")));
    }
}

TEST_F(Fernrender, EveryThreadCountWritesTheSameFiles) {
    // A window whose edges are inside the set, so that the carried
    // periodicity state crosses row ends (deep enough for runs of several
    // rows), and a 24-bit image.
    const std::vector<std::vector<std::string>> cases = {
        {"--xmin", "-1", "--xmax", "0", "--ymin", "-0.3", "--ymax", "0.3", "--iterations", "1100", "--size", "47x31"},
        {"--type", "Julia", "--true-color", "--inside", "zmag", "--size", "33x25"},
        // A band: the carried state worked out on several threads too.
        {"--inside", "zmag", "--xmin", "-1", "--xmax", "0", "--ymin", "-0.3", "--ymax", "0.3", "--size", "47x31",
         "--rows", "9:17"},
    };
    for (const auto& options : cases) {
        std::string expected;
        for (const char* threads : {"1", "2", "3", "7"}) {
            for (const char* file : {"t.pgm", "t.ppm"}) {
                auto args = options;
                args.insert(args.end(), {"--threads", threads, path(file)});
                ASSERT_EQ(run(args).status, 0);
            }
            const std::string got = readFile(path("t.pgm")) + readFile(path("t.ppm"));
            if (expected.empty()) expected = got;
            EXPECT_EQ(got, expected) << options[1] << " threads " << threads;
        }
    }
    EXPECT_NE(run({"--help"}).out.find("--threads N"), std::string::npos);
}

// The PNG's pixels as RGB and its text chunks, read by libpng.
bool decodePng(const std::string& file, std::string& rgb, std::string& texts, int& width, int& height) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (f == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        if (f != nullptr) std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    png_set_palette_to_rgb(png);
    png_read_update_info(png, info);
    width = static_cast<int>(png_get_image_width(png, info));
    height = static_cast<int>(png_get_image_height(png, info));
    rgb.assign(static_cast<std::size_t>(width) * height * 3, '\0');
    for (int y = 0; y < height; ++y)
        png_read_row(png, reinterpret_cast<png_bytep>(&rgb[static_cast<std::size_t>(y) * width * 3]), nullptr);
    png_read_end(png, info);
    png_textp text = nullptr;
    int count = 0;
    png_get_text(png, info, &text, &count);
    for (int i = 0; i < count; ++i)
        texts += std::string(text[i].key) + "=" + std::string(text[i].text, text[i].itxt_length) + "\n";
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return true;
}

TEST_F(Fernrender, PngPixelsAreThoseOfThePpmAndCarryTheOptions) {
    const std::vector<std::vector<std::string>> cases = {
        {"--size=33x25"},                                                   // indexed
        {"--display-bits=8", "--size=33x25", "--type=Julia"},               // indexed, nearest logical entries
        {"--true-color", "--type=Julia", "--inside=zmag", "--size=33x25"},  // RGB with blending
    };
    for (const auto& options : cases) {
        for (const char* file : {"t.ppm", "t.png"}) {
            auto args = options;
            args.push_back(path(file));
            ASSERT_EQ(run(args).status, 0) << options[0];
        }
        std::string rgb, texts;
        int width = 0, height = 0;
        ASSERT_TRUE(decodePng(path("t.png"), rgb, texts, width, height));
        EXPECT_EQ(width, 33);
        EXPECT_EQ(height, 25);
        EXPECT_EQ("P6\n33 25\n255\n" + rgb, readFile(path("t.ppm"))) << options[0];
        EXPECT_NE(texts.find("fernwise-parameters=--type="), std::string::npos) << texts;
    }
    // Options after --from override the stored ones; the rest stay.
    ASSERT_EQ(run({"--from", path("t.png"), "--size", "20x10", path("u.png")}).status, 0);
    std::string rgb, texts;
    int width = 0, height = 0;
    ASSERT_TRUE(decodePng(path("u.png"), rgb, texts, width, height));
    EXPECT_EQ(width, 20);
    EXPECT_NE(texts.find("--inside=zmag\n--inside-color"), std::string::npos) << texts;
    EXPECT_EQ(run({"--from", path("t.ppm"), path("u.png")}).status, 1);
}

}  // namespace
}  // namespace fernwise
