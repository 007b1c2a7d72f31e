// Writes Fernwise Studio's palettes as Fractint .map files from the gradient
// definitions in gradients.txt, and a strip of each for the README; with
// --check it compares what it would write with the files that are there.
//
//   make_palettes [--check] DEFINITIONS MAP_FOLDER [STRIP_FOLDER]

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <QImage>
#include <QString>

#include "map_file.h"
#include "palette.h"

namespace {

namespace fs = std::filesystem;
using fernwise::PaletteTable;
using fernwise::Rgb;

struct Stop {
    long position = 0;  // 0..1000 along one run
    Rgb color;
};

struct Gradient {
    std::string name;
    std::string about;
    Rgb zero;
    long runs = 1;
    bool wrap = false;
    long bands = 1;
    std::vector<Stop> stops;
};

bool parseColor(const std::string& text, Rgb& color) {
    if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
    const unsigned long value = std::stoul(text, nullptr, 16);
    color = {static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
             static_cast<std::uint8_t>(value)};
    return true;
}

bool parseStops(std::string text, std::vector<Stop>& stops) {
    for (char& c : text) {
        if (c == ',') c = ' ';
    }
    std::istringstream in(text);
    long position = 0;
    std::string color;
    while (in >> position >> color) {
        Stop stop{position, {}};
        if (!parseColor(color, stop.color)) return false;
        stops.push_back(stop);
    }
    return in.eof() && !stops.empty();
}

// Number of colour steps (bands) over entries 1..255.
long stepCount(const Gradient& g) { return (255 + g.bands - 1) / g.bands; }

std::string checkGradient(const Gradient& g) {
    if (g.name.empty() || g.name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-") != std::string::npos)
        return "a name of lower-case letters, digits and dashes";
    if (g.bands < 1 || g.bands > 255) return "bands 1..255";
    if (g.runs < 1 || stepCount(g) % g.runs != 0)
        return "runs that divide the " + std::to_string(stepCount(g)) + " steps";
    if (g.stops.front().position != 0 || g.stops.back().position != 1000) return "stops from 0 to 1000";
    for (std::size_t i = 1; i < g.stops.size(); ++i) {
        if (g.stops[i].position < g.stops[i - 1].position) return "stops in order";
    }
    return {};
}

bool readDefinitions(const fs::path& path, std::vector<Gradient>& gradients) {
    std::ifstream in(path);
    if (!in) {
        std::cerr << "make_palettes: cannot read " << path << "\n";
        return false;
    }
    std::string line;
    int number = 0;
    auto fail = [&](const std::string& what) {
        std::cerr << path.string() << ":" << number << ": " << what << "\n";
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string key;
        words >> key;
        std::string rest;
        std::getline(words >> std::ws, rest);
        if (key == "name") {
            gradients.push_back({});
            gradients.back().name = rest;
            continue;
        }
        if (gradients.empty()) return fail("a palette starts with its name");
        Gradient& g = gradients.back();
        try {
            if (key == "about") {
                g.about = rest;
            } else if (key == "zero") {
                if (!parseColor(rest, g.zero)) return fail("zero RRGGBB");
            } else if (key == "runs") {
                g.runs = std::stol(rest);
            } else if (key == "ends") {
                if (rest != "open" && rest != "wrap") return fail("ends open or wrap");
                g.wrap = rest == "wrap";
            } else if (key == "bands") {
                g.bands = std::stol(rest);
            } else if (key == "stops") {
                if (!parseStops(rest, g.stops)) return fail("stops POSITION RRGGBB, ...");
                if (const std::string need = checkGradient(g); !need.empty()) return fail(g.name + " needs " + need);
            } else {
                return fail("unknown key " + key);
            }
        } catch (const std::exception&) {
            return fail("a number after " + key);
        }
    }
    for (const Gradient& g : gradients) {
        if (g.stops.empty()) {
            std::cerr << path.string() << ": " << g.name << " has no stops\n";
            return false;
        }
    }
    return true;
}

// The colour at step k of a run of `length` steps, in exact integer
// arithmetic so that every machine writes the same files.
Rgb colorAt(const Gradient& g, long k, long length) {
    const long scale = g.wrap ? length : std::max(length - 1, 1L);
    const long x = k * 1000;  // the position times `scale`
    std::size_t a = 0;
    for (std::size_t i = 0; i < g.stops.size(); ++i) {
        if (g.stops[i].position * scale <= x) a = i;
    }
    if (a + 1 == g.stops.size()) return g.stops[a].color;
    const Stop& from = g.stops[a];
    const Stop& to = g.stops[a + 1];
    const long span = (to.position - from.position) * scale;
    const long into = x - from.position * scale;
    auto mix = [&](std::uint8_t c0, std::uint8_t c1) {
        const long numerator = c0 * (span - into) + c1 * into;
        return static_cast<std::uint8_t>((2 * numerator + span) / (2 * span));  // rounded half up
    };
    return {mix(from.color.red, to.color.red), mix(from.color.green, to.color.green),
            mix(from.color.blue, to.color.blue)};
}

PaletteTable makeTable(const Gradient& g) {
    PaletteTable table{};
    table[0] = g.zero;
    const long length = stepCount(g) / g.runs;
    for (int entry = 1; entry < fernwise::paletteSize; ++entry) {
        const long step = (entry - 1) / g.bands;
        table[entry] = colorAt(g, step % length, length);
    }
    return table;
}

// One entry a line as the classic files have them, the palette's name and
// purpose after the first entry.
std::string mapText(const Gradient& g, const PaletteTable& table) {
    std::string text;
    char line[32];
    for (int i = 0; i < fernwise::paletteSize; ++i) {
        std::snprintf(line, sizeof line, "%3d %3d %3d", table[i].red, table[i].green, table[i].blue);
        text += line;
        if (i == 0) text += "  " + g.name + ", " + g.about;
        text += '\n';
    }
    return text;
}

QImage strip(const PaletteTable& table) {
    constexpr int entryWidth = 2;
    constexpr int height = 20;
    QImage image(fernwise::paletteSize * entryWidth, height, QImage::Format_Indexed8);
    QList<QRgb> colors;
    for (const Rgb& c : table) colors.push_back(qRgb(c.red, c.green, c.blue));
    image.setColorTable(colors);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, static_cast<uint>(x / entryWidth));
    }
    return image;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool sameStrip(const fs::path& path, const QImage& expected) {
    QImage found(QString::fromStdString(path.string()));
    if (found.isNull() || found.size() != expected.size()) return false;
    for (int y = 0; y < found.height(); ++y) {
        for (int x = 0; x < found.width(); ++x) {
            if (found.pixel(x, y) != expected.pixel(x, y)) return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool check = !args.empty() && args[0] == "--check";
    if (check) args.erase(args.begin());
    if (args.size() < 2 || args.size() > 3) {
        std::cerr << "usage: make_palettes [--check] DEFINITIONS MAP_FOLDER [STRIP_FOLDER]\n";
        return 2;
    }
    std::vector<Gradient> gradients;
    if (!readDefinitions(args[0], gradients)) return 2;
    const fs::path maps = args[1];
    const fs::path strips = args.size() > 2 ? fs::path(args[2]) : fs::path();

    int problems = 0;
    auto problem = [&](const std::string& what) {
        std::cerr << what << "\n";
        ++problems;
    };
    std::set<std::string> names;
    for (const Gradient& g : gradients) {
        if (!names.insert(g.name).second) problem("two palettes are called " + g.name);
        const PaletteTable table = makeTable(g);
        const std::string text = mapText(g, table);
        // The file must read back as the table it was made from; a first
        // line over 99 characters, for one, would not.
        PaletteTable readBack{};
        if (fernwise::readMapText(text, readBack) != fernwise::MapFileStatus::Loaded || readBack != table)
            problem(g.name + ": the .map text does not read back as its palette");
        const fs::path mapPath = maps / (g.name + ".map");
        const fs::path stripPath = strips / (g.name + ".png");
        if (check) {
            if (readFile(mapPath) != text) problem(mapPath.string() + " is not what " + args[0] + " makes");
            if (!strips.empty() && !sameStrip(stripPath, strip(table)))
                problem(stripPath.string() + " does not show " + g.name);
            continue;
        }
        std::ofstream(mapPath, std::ios::binary) << text;
        if (!strips.empty() && !strip(table).save(QString::fromStdString(stripPath.string()), "PNG"))
            problem("cannot write " + stripPath.string());
    }
    // A file whose definition is gone would still be installed.
    for (const auto& entry : fs::directory_iterator(maps)) {
        if (entry.path().extension() == ".map" && !names.contains(entry.path().stem().string()))
            problem(entry.path().string() + " has no definition in " + args[0]);
    }
    if (problems == 0) std::cout << gradients.size() << " palettes " << (check ? "are up to date" : "written") << "\n";
    return problems == 0 ? 0 : 1;
}
