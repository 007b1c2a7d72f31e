#include "render_options.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <type_traits>

namespace fernwise {
namespace {

bool parseDouble(const std::string& text, double& value) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;
    auto [ptr, error] = std::from_chars(begin, end, value);
    return error == std::errc() && ptr == end && std::isfinite(value);
}

bool parseLong(const std::string& text, long long& value) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;
    auto [ptr, error] = std::from_chars(begin, end, value);
    return error == std::errc() && ptr == end;
}

bool parseSize(const std::string& text, int& width, int& height) {
    auto x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    long long w = 0, h = 0;
    if (!parseLong(text.substr(0, x), w) || !parseLong(text.substr(x + 1), h)) return false;
    // Streamed formats take any side PNG allows; the whole-image formats
    // are held to their own limits once the format is known.
    if (w < 1 || h < 1 || w > maxImageSide || h > maxImageSide) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

bool parseRows(const std::string& text, int& first, int& count) {
    auto colon = text.find(':');
    if (colon == std::string::npos) return false;
    long long f = 0, c = 0;
    if (!parseLong(text.substr(0, colon), f) || !parseLong(text.substr(colon + 1), c)) return false;
    if (f < 0 || c < 1 || f > maxImageSide || c > maxImageSide) return false;
    first = static_cast<int>(f);
    count = static_cast<int>(c);
    return true;
}

template <typename Enum>
bool parseChoice(const std::string& text, std::initializer_list<std::pair<const char*, Enum>> choices, Enum& value) {
    for (const auto& [name, choice] : choices) {
        if (text == name) {
            value = choice;
            return true;
        }
    }
    return false;
}

bool parseOnOff(const std::string& text, bool& value) {
    return parseChoice<bool>(text, {{"on", true}, {"off", false}}, value);
}

}  // namespace

std::string usageLine() {
    return "usage: fernrender [options] OUTPUT.png|.pgm|.ppm|.gif|.tga  (fernrender --help for details)";
}

std::string helpText() {
    return R"(usage: fernrender [options] OUTPUT
       fernrender --assemble OUTPUT.png BAND.png...

Renders one image exactly as the desktop program's plot would, and writes it
by the extension of OUTPUT:
  .png   PNG: indexed color when the image shows at most 256 colors, else
         8-bit RGB; the pixels of the .ppm, and every option that made them
         in a "fernwise-parameters" text chunk (see --from)
  .pgm   the palette index of every pixel as the coloring gave it (binary P5)
  .ppm   the colors the screen shows (binary P6)
  .gif   GIF87a as the desktop program saves it: each pixel the first of
         palette entries 0..235 with its color, else 236
  .tga   24-bit Targa as the desktop program saves it with 24-bit coloring
.png, .pgm and .ppm are written row by row as the rows are finished, so
their memory depends on the width only; .gif and .tga hold the whole image
(at most 32768 a side and 268435456 pixels).

Options (every value option takes one argument, as --opt V or --opt=V):
  --type T              fractal type: display name ("Magnetism I, Q plane"),
                        enumerator (MagnetismIQ) or 0..10, any case;
                        default Mandelbrot
  --size WxH            image size, default 640x480; sides 1..2147483647
  --xmin V --xmax V --ymin V --ymax V
                        the window on the complex plane
  --param1 V --param2 V the type's two parameters
  --iterations N        iteration limit, 1..16384
  --size-limit R        escape radius as the dialog shows it, 1..256
  --mapping standard|inversion
  --outside standard|fausto|binary|solid|kirlian
  --outside-color N     color of solid outside coloring, 0..255
  --binary-offset N     offset of binary decomposition, 1..255
  --inside solid|zmag|bof33|bof34
  --inside-color N      color of solid inside coloring, 0..255
  --periodicity on|off  periodicity checking, default on
  --special-coloring on|off
                        special coloring, default off
  --display-bits B      the display the image is made for, 0..64: 8 is a
                        palette-based 256-color display, 16 plain RGB,
                        24 and 32 deep color; default 32
  --true-color          24-bit coloring (needs 24 or more display bits)
  --aspect F            aspect factor scaling the window's extents,
                        0.001..1000, default 1
  --threads N           threads computing rows, 1..1024, default one per core;
                        the image is the same for every N
  --map FILE            a Fractint .map palette instead of the default one
  --from IMAGE.png      the options stored in a PNG this program wrote;
                        options after --from override them
  --rows FIRST:COUNT    only rows FIRST..FIRST+COUNT-1 of the image (a band),
                        exactly as they are in the whole image; .png, .pgm
                        and .ppm only
  --level-sets-out FILE write the 24-bit level-set tables of the image
                        (computed once for all its bands) to FILE
  --level-sets-in FILE  take them from FILE instead of sampling the image
  --assemble            join bands written with --rows into OUTPUT.png
  --quiet               no progress display (it is shown only when the
                        standard error is a terminal)
  --version             the version
  --help                this text

Values not given come from the type's default record. Window bounds are
swapped and held to the type's limits as the Parameters dialog does.

Exit status: 0 written; 1 the display, a file or the memory failed;
2 bad options or parameters (the message says which).
)";
}

std::optional<std::pair<std::string, std::string>> splitOption(const std::string& arg) {
    if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) return std::nullopt;
    const auto equals = arg.find('=');
    if (equals == std::string::npos) return std::nullopt;
    return std::make_pair(arg.substr(0, equals), arg.substr(equals + 1));
}

ParseResult parseRenderOptions(const std::vector<std::string>& rawArgs) {
    RenderOptions o;
    ParseResult result;
    auto fail = [&result](std::string message) {
        result.options.reset();
        result.error = std::move(message);
        return result;
    };

    // --opt=value is --opt value; a lone "--" ends the options.
    std::vector<std::string> args;
    // How each argument came: plain, as the value after '=' (it belongs to
    // the option before it), or after "--" (always the output).
    enum class From : std::uint8_t { Plain, Joined, Positional };
    std::vector<From> from;
    bool optionsEnded = false;
    for (const std::string& arg : rawArgs) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded) {
            args.push_back(arg);
            from.push_back(From::Positional);
            continue;
        }
        if (auto split = splitOption(arg)) {
            args.push_back(split->first);
            from.push_back(From::Plain);
            args.push_back(split->second);
            from.push_back(From::Joined);
        } else {
            args.push_back(arg);
            from.push_back(From::Plain);
        }
    }

    // The type decides the defaults the other options override, so find it
    // first (the last one given counts, as for every option).
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "--type" && from[i] == From::Plain) {
            auto type = parseFractalType(args[i + 1]);
            if (!type) return fail("unknown fractal type: " + args[i + 1]);
            o.type = *type;
            ++i;
        }
    }
    o.entry = entryFromParams(defaultParams(o.type));
    ParamEntry& e = o.entry;

    using Setter = std::function<bool(const std::string&)>;
    struct ValueOption {
        Setter set;
        const char* range = nullptr;  // what the help states, for the message
    };
    auto real = [](double& target) -> Setter {
        return [&target](const std::string& v) { return parseDouble(v, target); };
    };
    auto realIn = [](double& target, double low, double high) -> Setter {
        return [&target, low, high](const std::string& v) {
            double value = 0.0;
            if (!parseDouble(v, value) || !(value >= low && value <= high)) return false;
            target = value;
            return true;
        };
    };
    auto integerIn = [](auto& target, long long low, long long high) -> Setter {
        return [&target, low, high](const std::string& v) {
            long long value = 0;
            if (!parseLong(v, value) || value < low || value > high) return false;
            target = static_cast<std::remove_reference_t<decltype(target)>>(value);
            return true;
        };
    };
    auto text = [](std::string& target) -> Setter {
        return [&target](const std::string& v) {
            target = v;
            return !v.empty();
        };
    };
    const std::map<std::string, ValueOption> valueOptions{
        {"--type", {[](const std::string&) { return true; }}},
        {"--size",
         {[&](const std::string& v) { return parseSize(v, o.width, o.height); }, "1x1 to 2147483647x2147483647"}},
        {"--xmin", {real(e.xmin)}},
        {"--xmax", {real(e.xmax)}},
        {"--ymin", {real(e.ymin)}},
        {"--ymax", {real(e.ymax)}},
        {"--param1", {real(e.param1)}},
        {"--param2", {real(e.param2)}},
        // The dialog's own checks give their messages for these two.
        {"--iterations",
         {integerIn(e.iterations, std::numeric_limits<long long>::min(), std::numeric_limits<long long>::max())}},
        {"--size-limit", {realIn(e.sizeRadius, 1.0, 256.0), "1 to 256"}},
        {"--outside-color", {integerIn(e.outsideColor, 0, 255), "0 to 255"}},
        {"--inside-color", {integerIn(e.insideColor, 0, 255), "0 to 255"}},
        {"--binary-offset", {integerIn(e.binaryOffset, 1, 255), "1 to 255"}},
        {"--mapping",
         {[&](const std::string& v) {
              return parseChoice<MappingMode>(
                  v, {{"standard", MappingMode::Standard}, {"inversion", MappingMode::Inversion}}, e.mappingMode);
          },
          "standard or inversion"}},
        {"--outside",
         {[&](const std::string& v) {
              return parseChoice<OutsideColoring>(v,
                                                  {{"standard", OutsideColoring::Standard},
                                                   {"fausto", OutsideColoring::Fausto},
                                                   {"binary", OutsideColoring::Binary},
                                                   {"solid", OutsideColoring::Solid},
                                                   {"kirlian", OutsideColoring::Kirlian}},
                                                  e.outsideColoring);
          },
          "standard, fausto, binary, solid or kirlian"}},
        {"--inside",
         {[&](const std::string& v) {
              return parseChoice<InsideColoring>(v,
                                                 {{"solid", InsideColoring::Solid},
                                                  {"zmag", InsideColoring::ZMag},
                                                  {"bof33", InsideColoring::Bof33},
                                                  {"bof34", InsideColoring::Bof34}},
                                                 e.insideColoring);
          },
          "solid, zmag, bof33 or bof34"}},
        {"--periodicity", {[&](const std::string& v) { return parseOnOff(v, o.periodicity); }, "on or off"}},
        {"--special-coloring", {[&](const std::string& v) { return parseOnOff(v, o.specialColoring); }, "on or off"}},
        {"--display-bits", {integerIn(o.displayBits, 0, 64), "0 to 64"}},
        {"--aspect", {realIn(o.aspect, 0.001, 1000.0), "0.001 to 1000"}},
        {"--threads", {integerIn(o.threads, 1, 1024), "1 to 1024"}},
        {"--map", {text(o.mapFile)}},
        {"--rows",
         {[&](const std::string& v) { return parseRows(v, o.firstRow, o.rowCount); }, "FIRST:COUNT, COUNT >= 1"}},
        {"--level-sets-out", {text(o.levelSetsOut)}},
        {"--level-sets-in", {text(o.levelSetsIn)}},
    };
    const std::map<std::string, bool RenderOptions::*> flagOptions{
        {"--quiet", &RenderOptions::quiet},     {"--true-color", &RenderOptions::trueColor},
        {"--help", &RenderOptions::help},       {"-h", &RenderOptions::help},
        {"--version", &RenderOptions::version},
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (from[i] != From::Plain) {
            if (!o.output.empty()) return fail("more than one output: " + arg);
            o.output = arg;
            continue;
        }
        if (auto flag = flagOptions.find(arg); flag != flagOptions.end()) {
            if (i + 1 < args.size() && from[i + 1] == From::Joined) return fail(arg + " takes no value");
            o.*(flag->second) = true;
            if (o.help || o.version) {
                result.options = o;
                return result;
            }
            continue;
        }
        if (auto option = valueOptions.find(arg); option != valueOptions.end()) {
            if (i + 1 >= args.size()) return fail("missing value for " + arg);
            const std::string& value = args[++i];
            if (!option->second.set(value)) {
                std::string message = "bad value for " + arg + ": " + value;
                if (option->second.range != nullptr) message += std::string(" (") + option->second.range + ")";
                return fail(message);
            }
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') return fail("unknown option: " + arg);
        if (!o.output.empty()) return fail("more than one output: " + arg);
        o.output = arg;
    }
    // The level-set tables alone need no image.
    if (o.output.empty() && o.levelSetsOut.empty()) return fail("no output file given");
    if (!o.levelSetsIn.empty() && !o.levelSetsOut.empty()) return fail("--level-sets-in and --level-sets-out together");
    result.options = o;
    return result;
}

}  // namespace fernwise
