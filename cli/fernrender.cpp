#include "fernrender.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cfloat>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "fernwise_version.h"
#include "gif_writer.h"
#include "level_sets.h"
#include "map_file.h"
#include "png_file.h"
#include "render_options.h"
#include "row_pipeline.h"
#include "row_stream.h"
#include "save_file.h"
#include "targa_writer.h"

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fernwise {
namespace {

std::string lowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

bool streamedFormat(const std::string& ext) { return ext == ".png" || ext == ".pgm" || ext == ".ppm"; }
bool knownExtension(const std::string& ext) { return streamedFormat(ext) || ext == ".gif" || ext == ".tga"; }

// "fernrender: cannot write FILE: REASON"; the reason is left out when the
// system gave none.
std::string failure(const char* what, const std::string& path, const std::string& reason) {
    std::string line = std::string("fernrender: ") + what + " " + path;
    if (!reason.empty()) line += ": " + reason;
    return line + "\n";
}

std::string systemReason(int error) { return error != 0 ? std::strerror(error) : std::string(); }

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
    ProgressDisplay(std::ostream& out, std::string label, long long rows, bool enabled)
        : out_(out),
          label_(std::move(label)),
          rows_(rows),
          enabled_(enabled),
          start_(Clock::now()),
          lastShown_(start_) {}

    void rowsDone(long long done) {
        if (!enabled_) return;
        const auto now = Clock::now();
        if (done < rows_ && now - lastShown_ < std::chrono::milliseconds(200)) return;
        lastShown_ = now;
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const double left = done > 0 ? elapsed * static_cast<double>(rows_ - done) / static_cast<double>(done) : 0.0;
        char line[160];
        std::snprintf(line, sizeof line, "\rfernrender: %s%lld of %lld rows (%d%%), %.0f s left ", label_.c_str(), done,
                      rows_, static_cast<int>(100.0 * static_cast<double>(done) / static_cast<double>(rows_)), left);
        out_ << line << std::flush;
        shown_ = true;
    }

    void finish() {
        if (shown_) out_ << "\n" << std::flush;
    }

private:
    using Clock = std::chrono::steady_clock;
    std::ostream& out_;
    std::string label_;
    long long rows_;
    bool enabled_;
    Clock::time_point start_;
    Clock::time_point lastShown_;
    bool shown_ = false;
};

// --- the options stored in a PNG --------------------------------------------

std::string number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

const char* mappingName(MappingMode m) { return m == MappingMode::Inversion ? "inversion" : "standard"; }
const char* outsideName(OutsideColoring c) {
    switch (c) {
        case OutsideColoring::Standard: return "standard";
        case OutsideColoring::Fausto: return "fausto";
        case OutsideColoring::Binary: return "binary";
        case OutsideColoring::Solid: return "solid";
        case OutsideColoring::Kirlian: return "kirlian";
    }
    return "standard";
}
const char* insideName(InsideColoring c) {
    switch (c) {
        case InsideColoring::Solid: return "solid";
        case InsideColoring::ZMag: return "zmag";
        case InsideColoring::Bof33: return "bof33";
        case InsideColoring::Bof34: return "bof34";
    }
    return "solid";
}

// Every option that decides the pixels, one "--opt=value" a line, numbers
// with 17 digits so that reading them back gives the same doubles.
std::string parameterText(const RenderOptions& o) {
    const ParamEntry& e = o.entry;
    std::ostringstream t;
    t << "--type=" << fractalTypeEnumerator(o.type) << "\n"
      << "--size=" << o.width << "x" << o.height << "\n"
      << "--xmin=" << number(e.xmin) << "\n--xmax=" << number(e.xmax) << "\n"
      << "--ymin=" << number(e.ymin) << "\n--ymax=" << number(e.ymax) << "\n"
      << "--param1=" << number(e.param1) << "\n--param2=" << number(e.param2) << "\n"
      << "--iterations=" << e.iterations << "\n"
      << "--size-limit=" << number(e.sizeRadius) << "\n"
      << "--mapping=" << mappingName(e.mappingMode) << "\n"
      << "--outside=" << outsideName(e.outsideColoring) << "\n"
      << "--outside-color=" << e.outsideColor << "\n"
      << "--binary-offset=" << e.binaryOffset << "\n"
      << "--inside=" << insideName(e.insideColoring) << "\n"
      << "--inside-color=" << e.insideColor << "\n"
      << "--periodicity=" << (o.periodicity ? "on" : "off") << "\n"
      << "--special-coloring=" << (o.specialColoring ? "on" : "off") << "\n"
      << "--display-bits=" << o.displayBits << "\n"
      << "--aspect=" << number(o.aspect) << "\n";
    if (o.trueColor) t << "--true-color\n";
    if (!o.mapFile.empty()) t << "--map=" << o.mapFile << "\n";
    return t.str();
}

// Replaces every --from IMAGE by the options stored in IMAGE; 0, or the
// exit status with the message given.
int expandFrom(const std::vector<std::string>& args, std::vector<std::string>& expanded, std::ostream& err) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string image;
        if (args[i] == "--") {
            expanded.insert(expanded.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            break;
        }
        if (args[i] == "--from") {
            if (i + 1 >= args.size()) {
                err << "fernrender: missing value for --from\n" << usageLine() << "\n";
                return 2;
            }
            image = args[++i];
        } else if (auto split = splitOption(args[i]); split && split->first == "--from") {
            image = split->second;
        } else {
            expanded.push_back(args[i]);
            continue;
        }
        PngReader png;
        std::string reason;
        if (!png.open(image, reason)) {
            err << failure("cannot read", image, reason);
            return 1;
        }
        const std::string text = png.text(parametersKeyword);
        if (text.empty()) {
            err << failure("cannot read", image, "it holds no fernrender parameters");
            return 1;
        }
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty()) expanded.push_back(line);
        }
    }
    return 0;
}

// --- level-set tables kept in a file ------------------------------------------

constexpr const char* levelSetsMagic = "fernwise level-set tables 1\n";
// An x87 extended value has 10 significant bytes; the rest of its storage is padding.
constexpr std::size_t levelValueBytes = LDBL_MANT_DIG == 64 ? 10 : sizeof(long double);

bool writeLevelSets(const std::string& path, const std::string& parameters, const LevelSetTables* tables,
                    std::string& reason, SaveStop* stop) {
    std::ostringstream head;
    const std::size_t count = tables != nullptr ? tables->entryCount() : 0;
    head << levelSetsMagic << "parameters " << parameters.size() << "\n"
         << parameters << "values " << count << " " << LDBL_MANT_DIG << " " << levelValueBytes << "\n";
    const std::string h = head.str();
    SaveFile file;
    bool ok = file.open(path, stop) && file.write(h.data(), h.size());
    if (tables != nullptr) {
        for (const auto* values : {&tables->levelLow, &tables->levelHigh}) {
            for (long double v : *values) ok = ok && file.write(&v, levelValueBytes);
        }
    }
    ok = ok && file.commit();
    if (!ok) reason = systemReason(file.error());
    return ok;
}

// 0 with `tables` filled (or left empty when the image has none); else the
// exit status, with `reason`.
int readLevelSets(const std::string& path, const std::string& parameters, LevelSetTables& tables, bool& present,
                  std::string& reason) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        reason = fd < 0 ? std::strerror(errno) : "not a regular file";
        if (fd >= 0) ::close(fd);
        return 1;
    }
    ::close(fd);
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::getline(in, line);
    std::size_t length = 0;
    std::string word;
    if (!in || line + "\n" != levelSetsMagic || !(in >> word >> length) || word != "parameters" || in.get() != '\n' ||
        length > (1u << 20)) {
        reason = "not a level-set tables file";
        return 1;
    }
    std::string stored(length, '\0');
    in.read(stored.data(), static_cast<std::streamsize>(length));
    if (!in || stored != parameters) {
        reason = "the tables were made for another image";
        return 1;
    }
    std::size_t count = 0;
    int digits = 0;
    std::size_t bytes = 0;
    if (!(in >> word >> count >> digits >> bytes) || word != "values" || in.get() != '\n' || digits != LDBL_MANT_DIG ||
        bytes != levelValueBytes || count > 16385) {
        reason = "the tables were written in another number format";
        return 1;
    }
    present = count > 0;
    tables.levelLow.assign(count, 0.0L);
    tables.levelHigh.assign(count, 0.0L);
    for (auto* values : {&tables.levelLow, &tables.levelHigh}) {
        for (long double& v : *values) in.read(reinterpret_cast<char*>(&v), static_cast<std::streamsize>(bytes));
    }
    if (!in || in.peek() != std::char_traits<char>::eof()) {
        reason = "the file is cut short or too long";
        return 1;
    }
    return 0;
}

// --- rows as the files hold them ----------------------------------------------

// How a computed row becomes the pixels of the files: the shown colours of
// the .ppm (as the screen would show them) and the indices of an indexed PNG.
struct RowColors {
    bool paletteDevice = false;
    std::array<std::uint8_t, paletteSize> nearest{};
    std::array<Rgb, paletteSize> shown{};  // the colour of each index a PNG row holds
    const PaletteTable* table = nullptr;

    void rgb(const RowResult& row, std::uint8_t* out) const {
        const std::size_t width = row.indices.size();
        const bool blending = !row.blends.empty();
        for (std::size_t i = 0; i < width; ++i) {
            const std::uint8_t index = row.indices[i];
            Rgb c;
            if (paletteDevice) {
                c = shown[nearest[index]];
            } else if (blending && row.blends[i] != 0) {
                c = blendedColor(*table, index, row.fractions[i]);
            } else {
                c = (*table)[index];
            }
            out[3 * i] = c.red;
            out[3 * i + 1] = c.green;
            out[3 * i + 2] = c.blue;
        }
    }

    void indexed(const RowResult& row, std::uint8_t* out) const {
        const std::size_t width = row.indices.size();
        if (!paletteDevice) {
            std::copy(row.indices.begin(), row.indices.end(), out);
            return;
        }
        for (std::size_t i = 0; i < width; ++i) out[i] = nearest[row.indices[i]];
    }
};

RowColors rowColors(const PaletteState& palette, bool paletteDevice) {
    RowColors colors;
    colors.paletteDevice = paletteDevice;
    colors.table = &palette.table;
    if (paletteDevice) {
        colors.nearest = nearestEntries(palette);
        // The colours a palette-based screen shows for its indices.
        auto screen = VirtualScreen::create(1, 1, PixelFormat::Indexed8);
        if (!screen) throw std::bad_alloc();
        screen->realize(*palette.logical);
        colors.shown = screen->shownColors();
    } else {
        colors.shown = palette.table;
    }
    return colors;
}

std::string sizeText(long long width, long long height) { return std::to_string(width) + "x" + std::to_string(height); }

int memoryFailure(std::ostream& err, const RenderOptions& o) {
    err << "fernrender: not enough memory to render " << sizeText(o.width, o.height) << " (" << o.output << ")\n";
    return 1;
}

// --- assembling bands --------------------------------------------------------

struct Band {
    std::string path;
    std::unique_ptr<PngReader> png;
    long long first = 0;
    long long count = 0;
};

int runAssemble(const std::vector<std::string>& args, std::ostream& err, SaveStop* stop) {
    std::string output;
    std::vector<std::string> inputs;
    bool quiet = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--assemble") continue;
        if (args[i] == "--quiet") {
            quiet = true;
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            err << "fernrender: --assemble takes only --quiet: " << args[i] << "\n" << usageLine() << "\n";
            return 2;
        } else if (output.empty()) {
            output = args[i];
        } else {
            inputs.push_back(args[i]);
        }
    }
    if (output.empty() || inputs.empty()) {
        err << "fernrender: --assemble needs OUTPUT.png and at least one BAND.png\n" << usageLine() << "\n";
        return 2;
    }
    if (lowerExtension(output) != ".png") {
        err << "fernrender: --assemble writes .png only: " << output << "\n";
        return 2;
    }
    std::vector<Band> bands;
    std::string parameters;
    for (const std::string& path : inputs) {
        Band band;
        band.path = path;
        band.png = std::make_unique<PngReader>();
        std::string reason;
        if (!band.png->open(path, reason)) {
            err << failure("cannot read", path, reason);
            return 1;
        }
        const std::string text = band.png->text(parametersKeyword);
        const std::string rows = band.png->text(bandKeyword);
        long long first = 0, count = 0;
        char tail = 0;
        if (text.empty() || std::sscanf(rows.c_str(), "%lld:%lld%c", &first, &count, &tail) != 2 ||
            count != band.png->height()) {
            err << failure("cannot assemble", path, "it is not a band written with --rows");
            return 1;
        }
        band.first = first;
        band.count = count;
        if (bands.empty()) {
            parameters = text;
        } else if (text != parameters || band.png->width() != bands.front().png->width() ||
                   band.png->indexed() != bands.front().png->indexed() ||
                   band.png->palette() != bands.front().png->palette()) {
            err << failure("cannot assemble", path, "its parameters differ from those of " + bands.front().path);
            return 1;
        }
        bands.push_back(std::move(band));
    }
    std::sort(bands.begin(), bands.end(), [](const Band& a, const Band& b) { return a.first < b.first; });
    // The image's height is in the parameters.
    long long width = 0, height = 0;
    const auto size = parameters.find("--size=");
    if (size == std::string::npos || std::sscanf(parameters.c_str() + size, "--size=%lldx%lld", &width, &height) != 2 ||
        width != bands.front().png->width()) {
        err << failure("cannot assemble", bands.front().path, "its parameters give no size");
        return 1;
    }
    long long next = 0;
    for (const Band& band : bands) {
        if (band.first != next) {
            err << failure("cannot assemble", band.path,
                           band.first < next ? "its rows overlap those of another band"
                                             : "rows " + std::to_string(next) + ".." + std::to_string(band.first - 1) +
                                                   " are in no band");
            return 1;
        }
        next = band.first + band.count;
    }
    if (next != height) {
        err << failure("cannot assemble", output,
                       "rows " + std::to_string(next) + ".." + std::to_string(height - 1) + " are in no band");
        return 1;
    }

    SaveFile file;
    if (!file.open(output, stop)) {
        err << failure("cannot write", output, systemReason(file.error()));
        return 1;
    }
    std::array<Rgb, paletteSize> palette{};
    const PngReader& firstPng = *bands.front().png;
    std::copy_n(firstPng.palette().begin(), std::min<std::size_t>(paletteSize, firstPng.palette().size()),
                palette.begin());
    PngWriter writer;
    if (!writer.begin(file, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                      firstPng.indexed() ? &palette : nullptr, parameters, "")) {
        err << failure("cannot write", output, file.error() != 0 ? systemReason(file.error()) : writer.error());
        return 1;
    }
    std::vector<std::uint8_t> row(firstPng.rowBytes());
    ProgressDisplay progress(err, "", height, !quiet && standardErrorIsTerminal());
    long long done = 0;
    for (Band& band : bands) {
        std::string reason;
        if (!band.png->beginRows(reason)) {
            err << failure("cannot read", band.path, reason);
            return 1;
        }
        for (long long r = 0; r < band.count; ++r) {
            if (!band.png->readRow(row.data(), reason)) {
                err << failure("cannot read", band.path, reason);
                return 1;
            }
            if (!writer.writeRow(row.data())) {
                err << failure("cannot write", output, file.error() != 0 ? systemReason(file.error()) : writer.error());
                return 1;
            }
            progress.rowsDone(++done);
        }
    }
    progress.finish();
    if (!file.commit()) {
        err << failure("cannot write", output, systemReason(file.error()));
        return 1;
    }
    return 0;
}

// --- rendering -----------------------------------------------------------------

int writeText(std::ostream& out, std::ostream& err, const std::string& text) {
    errno = 0;
    out << text;
    out.flush();
    if (out) return 0;
    err << failure("cannot write", "the standard output", systemReason(errno));
    return 1;
}

int render(const RenderOptions& options, std::ostream& err, SaveStop* stop) {
    const std::string ext = options.output.empty() ? std::string() : lowerExtension(options.output);
    if (!options.output.empty() && !knownExtension(ext)) {
        err << "fernrender: unknown output format '" << ext << "'\n" << usageLine() << "\n";
        return 2;
    }
    const bool streamed = streamedFormat(ext);
    if (!options.output.empty() && !streamed &&
        (options.width > maxWholeImageSide || options.height > maxWholeImageSide ||
         static_cast<long long>(options.width) * options.height > maxWholeImagePixels)) {
        err << "fernrender: " << sizeText(options.width, options.height) << " is too big for " << ext
            << ", which holds the whole image (at most " << maxWholeImageSide << " a side and " << maxWholeImagePixels
            << " pixels); .png, .ppm and .pgm take any size\n"
            << usageLine() << "\n";
        return 2;
    }
    const bool band = options.rowCount > 0;
    if (band && !options.output.empty() && !streamed) {
        err << "fernrender: --rows writes .png, .pgm or .ppm only\n" << usageLine() << "\n";
        return 2;
    }
    if (band && static_cast<long long>(options.firstRow) + options.rowCount > options.height) {
        err << "fernrender: --rows " << options.firstRow << ":" << options.rowCount << " goes past the image's "
            << options.height << " rows\n";
        return 2;
    }

    RenderRequest request;
    request.type = options.type;
    request.params = defaultParams(options.type);
    if (std::int32_t code = validateParams(options.type, options.entry, request.params); code != noParamError) {
        err << "fernrender: " << paramErrorMessages[static_cast<std::size_t>(code)] << "\n";
        return 2;
    }

    const ColorDepth depth = checkColorDepth(options.displayBits, options.displayBits == 8);
    if (depth.status != 0) {
        err << "fernrender: " << colorDepthMessage(options.displayBits) << "\n";
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
        errno = 0;
        const MapFileStatus status = readMapFile(options.mapFile, palette.table);
        if (status != MapFileStatus::Loaded) {
            const int error = errno;
            if (status == MapFileStatus::CannotOpen) {
                // Opened, but not a file (a folder, a pipe, a device): no errno says so.
                err << failure("cannot open", options.mapFile, error != 0 ? systemReason(error) : "not a regular file");
            } else {
                err << failure(
                    "cannot read", options.mapFile,
                    error != 0 ? systemReason(error) : "not a .map palette (each line three numbers 0..255)");
            }
            return 1;
        }
    }
    if (buildLogicalPalette(palette) == logicalPaletteRefused) throw std::bad_alloc();

    request.width = options.width;
    request.height = options.height;
    request.aspectFactor = options.aspect;
    request.flags.paletteDevice = depth.paletteDevice;
    request.flags.trueColorMode = options.trueColor;
    request.flags.periodicityChecking = options.periodicity;
    request.flags.specialColoring = options.specialColoring;

    // 24-bit level-set colouring samples the whole image first, as the
    // desktop program's plot start does in a fresh run; a band takes the
    // tables from a file when given one, else samples the whole image too.
    const std::string parameters = parameterText(options);
    // One set of helpers serves the level-set pass and the rows.
    WorkerPool helpers(options.threads > 0 ? options.threads - 1 : -1);
    LevelSetState levelSets;
    const LevelSetTables* tables = nullptr;
    if (!options.levelSetsIn.empty()) {
        bool present = false;
        std::string reason;
        if (readLevelSets(options.levelSetsIn, parameters, levelSets.tables, present, reason) != 0) {
            err << failure("cannot read", options.levelSetsIn, reason);
            return 1;
        }
        tables = present ? &levelSets.tables : nullptr;
    } else {
        tables =
            buildLevelSetTables(request, levelSets, LevelSetPassOptions{options.threads, bestSimdLevel(), &helpers});
    }
    if (!options.levelSetsOut.empty()) {
        std::string reason;
        if (!writeLevelSets(options.levelSetsOut, parameters, tables, reason, stop)) {
            err << failure("cannot write", options.levelSetsOut, reason);
            return 1;
        }
    }
    if (options.output.empty()) return 0;

    const long long first = band ? options.firstRow : 0;
    const long long count = band ? options.rowCount : options.height;
    const std::string label =
        band ? "rows " + std::to_string(first) + ".." + std::to_string(first + count - 1) + ": " : "";
    ProgressDisplay progress(err, label, count, !options.quiet && standardErrorIsTerminal());

    if (!streamed) {
        // GIF and Targa: the desktop program's own writers on a whole screen.
        auto screen = VirtualScreen::create(options.width, options.height,
                                            depth.paletteDevice ? PixelFormat::Indexed8 : PixelFormat::Rgb32);
        if (!screen) throw std::bad_alloc();
        screen->realize(*palette.logical);
        renderImageParallel(
            request, *screen, palette, nullptr, tables, options.threads, bestSimdLevel(),
            [&progress](int rowsDrawn) { progress.rowsDone(rowsDrawn); }, &helpers);
        progress.finish();
        SaveRequest save;
        save.path = options.output;
        save.fileName = std::filesystem::path(options.output).filename().string();
        save.paletteDevice = depth.paletteDevice;
        save.stop = stop;
        NullSaveProgress silent;
        errno = 0;
        const SaveStatus status =
            ext == ".gif" ? writeGif(save, *screen, palette.entries, silent) : writeTarga(save, *screen, silent);
        const int error = errno;
        if (status == SaveStatus::Saved) return 0;
        if (status == SaveStatus::NoMemory) throw std::bad_alloc();
        err << failure("cannot write", options.output, error != 0 ? systemReason(error) : saveErrorMessage(status));
        return 1;
    }

    // The plot start of the desktop program's driver, step for step.
    FractalCatalog catalog;
    catalog[request.type] = request.params;
    PlotDriver driver(request.width, request.height);
    driver.loadRecord(catalog, request.type);
    driver.computeGeometry(request.aspectFactor);
    if (driver.beginTrueColor(request.flags.trueColorMode)) driver.useLevelSets(tables);
    driver.startKernels();
    const RowEngine engine(rowPlotFrom(driver, request.flags), bestSimdLevel());
    const bool carriedIn = carriedInto(engine, static_cast<int>(first), driver.kernel.periodicity.lastPointInside,
                                       options.threads, &helpers);

    const RowColors colors = rowColors(palette, depth.paletteDevice);
    SaveFile file;
    if (!file.open(options.output, stop)) {
        err << failure("cannot write", options.output, systemReason(file.error()));
        return 1;
    }
    PngWriter png;
    std::vector<std::uint8_t> out;
    bool ok = true;
    if (ext == ".png") {
        const bool indexed = !options.trueColor;
        out.resize(indexed ? options.width : 3 * static_cast<std::size_t>(options.width));
        ok = png.begin(file, static_cast<std::uint32_t>(options.width), static_cast<std::uint32_t>(count),
                       indexed ? &colors.shown : nullptr, parameters,
                       band ? std::to_string(first) + ":" + std::to_string(count) : std::string());
    } else {
        const std::string header = std::string(ext == ".pgm" ? "P5\n" : "P6\n") + std::to_string(options.width) + " " +
                                   std::to_string(count) + "\n255\n";
        if (ext == ".ppm") out.resize(3 * static_cast<std::size_t>(options.width));
        ok = file.write(header.data(), header.size());
    }
    long long done = 0;
    if (ok) {
        ok = streamRows(
            engine, static_cast<int>(first), static_cast<int>(count), carriedIn, options.threads,
            [&](const RowResult& row) {
                if (ext == ".pgm") {
                    if (!file.write(row.indices.data(), row.indices.size())) return false;
                } else if (ext == ".ppm") {
                    colors.rgb(row, out.data());
                    if (!file.write(out.data(), out.size())) return false;
                } else {
                    if (options.trueColor) {
                        colors.rgb(row, out.data());
                    } else {
                        colors.indexed(row, out.data());
                    }
                    if (!png.writeRow(out.data())) return false;
                }
                progress.rowsDone(++done);
                return true;
            },
            &helpers);
    }
    progress.finish();
    if (!ok || !file.commit()) {
        err << failure("cannot write", options.output, file.error() != 0 ? systemReason(file.error()) : png.error());
        file.abandon();
        return 1;
    }
    return 0;
}

}  // namespace

int runFernrender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, SaveStop* stop) {
    std::optional<RenderOptions> options;
    try {
        if (std::find(args.begin(), args.end(), "--assemble") != args.end()) return runAssemble(args, err, stop);
        std::vector<std::string> expanded;
        if (int status = expandFrom(args, expanded, err); status != 0) return status;
        ParseResult parsed = parseRenderOptions(expanded);
        if (!parsed.options) {
            err << "fernrender: " << parsed.error << "\n" << usageLine() << "\n";
            return 2;
        }
        options = parsed.options;
        if (options->help) return writeText(out, err, helpText());
        if (options->version) return writeText(out, err, std::string("fernrender ") + FERNWISE_VERSION + "\n");
        return render(*options, err, stop);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {}
    // Whatever was being written is abandoned; an earlier file stays as it was.
    if (options) return memoryFailure(err, *options);
    err << "fernrender: not enough memory\n";
    return 1;
}

}  // namespace fernwise
