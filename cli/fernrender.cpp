#include "fernrender.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cctype>
#include <filesystem>
#include <ostream>
#include <string>

#include "gif_writer.h"
#include "level_sets.h"
#include "map_file.h"
#include "render_options.h"
#include "row_pipeline.h"
#include "save_file.h"
#include "targa_writer.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fernwise {
namespace {

std::string lowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

// The image writers' safe replacement: a failed write never destroys an
// earlier file, and a device or a link is written through, never replaced.
bool writeFileAtomically(const std::string& path, const std::string& header, const std::vector<std::uint8_t>& body,
                         SaveStop* stop) {
    SaveFile file;
    return file.open(path, stop) && file.write(header.data(), header.size()) && file.write(body.data(), body.size()) &&
           file.commit();
}

bool writeNetpbm(const std::string& path, const std::string& ext, const VirtualScreen& screen,
                 const std::vector<std::uint8_t>& indices, SaveStop* stop) {
    const int w = screen.width();
    const int h = screen.height();
    if (ext == ".pgm") return writeFileAtomically(path, "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n", indices, stop);
    std::vector<std::uint8_t> rgb;
    rgb.reserve(static_cast<std::size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            Rgb c = screen.pixel(x, y);
            rgb.insert(rgb.end(), {c.red, c.green, c.blue});
        }
    }
    return writeFileAtomically(path, "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n", rgb, stop);
}

// The formats the renderer writes, by extension; 0 when written, else the
// exit status, with the message already given.
int writeOutput(const RenderOptions& options, const std::string& ext, const VirtualScreen& screen,
                const PaletteState& palette, const std::vector<std::uint8_t>& indices, std::ostream& err,
                SaveStop* stop) {
    if (ext == ".pgm" || ext == ".ppm") {
        if (writeNetpbm(options.output, ext, screen, indices, stop)) return 0;
        err << "fernrender: cannot write " << options.output << "\n";
        return 1;
    }
    if (ext == ".gif" || ext == ".tga") {
        // The desktop program's own writers; nobody watches the progress.
        SaveRequest request;
        request.path = options.output;
        request.fileName = std::filesystem::path(options.output).filename().string();
        request.paletteDevice = options.displayBits == 8;
        request.stop = stop;
        NullSaveProgress progress;
        const SaveStatus status = ext == ".gif" ? writeGif(request, screen, palette.entries, progress)
                                                : writeTarga(request, screen, progress);
        if (status == SaveStatus::Saved) return 0;
        err << saveErrorMessage(status) << "\n";
        return 1;
    }
    err << "fernrender: unknown output format " << ext << "\n" << usageLine() << "\n";
    return 2;
}

bool knownExtension(const std::string& ext) { return ext == ".pgm" || ext == ".ppm" || ext == ".gif" || ext == ".tga"; }

bool standardErrorIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

// Rows done, percentage and time left on one line that rewrites itself; at
// most a few updates a second, so the display costs nothing beside the render.
class ProgressDisplay {
public:
    ProgressDisplay(std::ostream& out, int rows, bool enabled)
        : out_(out), rows_(rows), enabled_(enabled), start_(Clock::now()), lastShown_(start_) {}

    void rowsDrawn(int done) {
        if (!enabled_) return;
        const auto now = Clock::now();
        if (done < rows_ && now - lastShown_ < std::chrono::milliseconds(200)) return;
        lastShown_ = now;
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const double left = done > 0 ? elapsed * (rows_ - done) / done : 0.0;
        char line[96];
        std::snprintf(line, sizeof line, "\rfernrender: %d of %d rows (%d%%), %.0f s left ", done, rows_,
                      static_cast<int>(100.0 * done / rows_), left);
        out_ << line << std::flush;
        shown_ = true;
    }

    void finish() {
        if (shown_) out_ << "\n" << std::flush;
    }

private:
    using Clock = std::chrono::steady_clock;
    std::ostream& out_;
    int rows_;
    bool enabled_;
    Clock::time_point start_;
    Clock::time_point lastShown_;
    bool shown_ = false;
};

}  // namespace

int runFernrender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, SaveStop* stop) {
    ParseResult parsed = parseRenderOptions(args);
    if (!parsed.options) {
        err << "fernrender: " << parsed.error << "\n" << usageLine() << "\n";
        return 2;
    }
    const RenderOptions& options = *parsed.options;
    if (options.help) {
        out << helpText();
        return 0;
    }
    const std::string ext = lowerExtension(options.output);
    if (!knownExtension(ext)) {
        err << "fernrender: unknown output format '" << ext << "'\n" << usageLine() << "\n";
        return 2;
    }

    RenderRequest request;
    request.type = options.type;
    request.params = defaultParams(options.type);
    if (std::int32_t code = validateParams(options.type, options.entry, request.params); code != noParamError) {
        err << paramErrorMessages[static_cast<std::size_t>(code)] << "\n";
        return 2;
    }

    const ColorDepth depth = checkColorDepth(options.displayBits, options.displayBits == 8);
    if (depth.status != 0) {
        err << colorDepthMessage(options.displayBits) << "\n";
        return 1;
    }
    if (options.trueColor && !depth.deepColorDisplay) {
        err << "fernrender: --true-color needs 24 or more display bits\n" << usageLine() << "\n";
        return 2;
    }

    PaletteState palette;
    palette.logicalPaletteSize = depth.logicalPaletteSize;
    loadPalette6(palette.table, defaultPalette());
    if (!options.mapFile.empty()) {
        MapFileStatus status = readMapFile(options.mapFile, palette.table);
        if (status != MapFileStatus::Loaded) {
            err << mapFileMessage(status) << "\n";
            return 1;
        }
    }
    if (buildLogicalPalette(palette) != 0) {
        err << "Unable to initialize palette\n";
        return 1;
    }

    request.width = options.width;
    request.height = options.height;
    request.aspectFactor = options.aspect;
    request.flags.paletteDevice = depth.paletteDevice;
    request.flags.trueColorMode = options.trueColor;
    request.flags.periodicityChecking = options.periodicity;
    request.flags.specialColoring = options.specialColoring;

    auto screen = VirtualScreen::create(options.width, options.height,
                                        depth.paletteDevice ? PixelFormat::Indexed8 : PixelFormat::Rgb32);
    if (!screen) {
        err << "Unable to allocate virtual screen buffer.\nTry to free up some memory.\n";
        return 1;
    }
    screen->realize(*palette.logical);
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(options.width) * options.height);
    // 24-bit level-set colouring samples the image first, as the desktop
    // program's plot start does in a fresh run.
    LevelSetState levelSets;
    const LevelSetTables* tables =
        buildLevelSetTables(request, levelSets, LevelSetPassOptions{options.threads, bestSimdLevel()});
    ProgressDisplay progress(err, options.height, !options.quiet && standardErrorIsTerminal());
    renderImageParallel(request, *screen, palette, indices.data(), tables, options.threads, bestSimdLevel(),
                        [&progress](int rowsDrawn) { progress.rowsDrawn(rowsDrawn); });
    progress.finish();
    return writeOutput(options, ext, *screen, palette, indices, err, stop);
}

}  // namespace fernwise
