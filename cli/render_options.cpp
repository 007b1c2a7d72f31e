#include "render_options.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

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
    // Large enough for any screen, small enough that the image fits in memory.
    if (w < 1 || h < 1 || w > 32768 || h > 32768 || w * h > (1LL << 28)) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
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

std::string usageLine() { return "usage: fernrender [options] OUTPUT.pgm|.ppm|.gif|.tga  (fernrender --help for details)"; }

std::string helpText() {
    return R"(usage: fernrender [options] OUTPUT

Renders one image exactly as the desktop program's plot would, and writes it
by the extension of OUTPUT:
  .pgm   the palette index of every pixel as the colouring gave it (binary P5)
  .ppm   the colours the screen shows (binary P6)
  .gif   GIF87a as the desktop program saves it: each pixel the first of
         palette entries 0..235 with its colour, else 236
  .tga   24-bit Targa as the desktop program saves it with 24-bit colouring

Options (every value option takes one argument):
  --type T              fractal type: display name ("Magnetism I, Q plane"),
                        enumerator (MagnetismIQ) or 0..10, any case;
                        default Mandelbrot
  --size WxH            image size, default 640x480
  --xmin V --xmax V --ymin V --ymax V
                        the window on the complex plane
  --param1 V --param2 V the type's two parameters
  --iterations N        iteration limit, 1..16384
  --size-limit R        escape radius as the dialog shows it, 1..256
  --mapping standard|inversion
  --outside standard|fausto|binary|solid|kirlian
  --outside-color N     colour of solid outside colouring, 0..255
  --binary-offset N     offset of binary decomposition, 1..255
  --inside solid|zmag|bof33|bof34
  --inside-color N      colour of solid inside colouring, 0..255
  --periodicity on|off  periodicity checking, default on
  --special-coloring on|off
                        special colouring, default off
  --display-bits B      the display the image is made for: 8 is a
                        palette-based 256-colour display, 16 plain RGB,
                        24 and 32 deep colour; default 32
  --true-color          24-bit colouring (needs 24 or more display bits)
  --aspect F            aspect factor scaling the window's extents, default 1
  --threads N           threads computing rows, 1..1024, default one per core;
                        the image is the same for every N
  --map FILE            a Fractint .map palette instead of the default one
  --quiet               no progress display (it is shown only when the
                        standard error is a terminal)
  --help                this text
  --version             the program's version

Values not given come from the type's default record. Window bounds are
swapped and held to the type's limits as the Parameters dialog does.

Exit status: 0 written; 1 the display, the palette file or the output failed;
2 bad options or parameters (the message says which).
)";
}

ParseResult parseRenderOptions(const std::vector<std::string>& args) {
    RenderOptions o;
    ParseResult result;
    auto fail = [&result](std::string message) {
        result.options.reset();
        result.error = std::move(message);
        return result;
    };

    // The type decides the defaults the other options override, so find it first.
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "--type") {
            auto type = parseFractalType(args[i + 1]);
            if (!type) return fail("unknown fractal type: " + args[i + 1]);
            o.type = *type;
        }
    }
    o.entry = entryFromParams(defaultParams(o.type));
    ParamEntry& e = o.entry;

    using Setter = std::function<bool(const std::string&)>;
    auto real = [](double& target) -> Setter { return [&target](const std::string& v) { return parseDouble(v, target); }; };
    auto integer = [](std::int64_t& target) -> Setter {
        return [&target](const std::string& v) {
            long long value = 0;
            if (!parseLong(v, value)) return false;
            target = value;
            return true;
        };
    };
    const std::map<std::string, Setter> valueOptions{
        {"--type", [](const std::string&) { return true; }},
        {"--size", [&](const std::string& v) { return parseSize(v, o.width, o.height); }},
        {"--xmin", real(e.xmin)},
        {"--xmax", real(e.xmax)},
        {"--ymin", real(e.ymin)},
        {"--ymax", real(e.ymax)},
        {"--param1", real(e.param1)},
        {"--param2", real(e.param2)},
        {"--iterations", integer(e.iterations)},
        {"--size-limit", real(e.sizeRadius)},
        {"--outside-color", integer(e.outsideColor)},
        {"--inside-color", integer(e.insideColor)},
        {"--binary-offset", integer(e.binaryOffset)},
        {"--mapping",
         [&](const std::string& v) {
             return parseChoice<MappingMode>(v, {{"standard", MappingMode::Standard}, {"inversion", MappingMode::Inversion}},
                                             e.mappingMode);
         }},
        {"--outside",
         [&](const std::string& v) {
             return parseChoice<OutsideColoring>(v,
                                                 {{"standard", OutsideColoring::Standard},
                                                  {"fausto", OutsideColoring::Fausto},
                                                  {"binary", OutsideColoring::Binary},
                                                  {"solid", OutsideColoring::Solid},
                                                  {"kirlian", OutsideColoring::Kirlian}},
                                                 e.outsideColoring);
         }},
        {"--inside",
         [&](const std::string& v) {
             return parseChoice<InsideColoring>(v,
                                                {{"solid", InsideColoring::Solid},
                                                 {"zmag", InsideColoring::ZMag},
                                                 {"bof33", InsideColoring::Bof33},
                                                 {"bof34", InsideColoring::Bof34}},
                                                e.insideColoring);
         }},
        {"--periodicity", [&](const std::string& v) { return parseOnOff(v, o.periodicity); }},
        {"--special-coloring", [&](const std::string& v) { return parseOnOff(v, o.specialColoring); }},
        {"--display-bits",
         [&](const std::string& v) {
             long long bits = 0;
             if (!parseLong(v, bits) || bits < 0 || bits > 64) return false;
             o.displayBits = static_cast<int>(bits);
             return true;
         }},
        {"--aspect", [&](const std::string& v) { return parseDouble(v, o.aspect) && o.aspect > 0.0; }},
        {"--threads",
         [&](const std::string& v) {
             long long threads = 0;
             if (!parseLong(v, threads) || threads < 1 || threads > 1024) return false;
             o.threads = static_cast<int>(threads);
             return true;
         }},
        {"--map",
         [&](const std::string& v) {
             o.mapFile = v;
             return !v.empty();
         }},
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            result.options = o;
            return result;
        }
        if (arg == "--version") {
            o.version = true;
            result.options = o;
            return result;
        }
        if (arg == "--quiet") {
            o.quiet = true;
            continue;
        }
        if (arg == "--true-color") {
            o.trueColor = true;
            continue;
        }
        if (auto option = valueOptions.find(arg); option != valueOptions.end()) {
            if (i + 1 >= args.size()) return fail("missing value for " + arg);
            if (!option->second(args[++i])) return fail("bad value for " + arg + ": " + args[i]);
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') return fail("unknown option: " + arg);
        if (!o.output.empty()) return fail("more than one output: " + arg);
        o.output = arg;
    }
    if (o.output.empty()) return fail("no output file given");
    result.options = o;
    return result;
}

}  // namespace fernwise
