// Saves over whatever a folder holds under any name: nothing, an earlier
// file, a link to one, a dangling or looping link, a folder or a pipe, with
// writes cut short by a file size limit or a stop request, through SaveFile
// directly or through the Targa writer. A save that reports success leaves
// exactly its bytes at the target (through any link); one that reports
// failure leaves every earlier entry byte for byte as it was; neither leaves
// a temporary file, and any name of up to 255 bytes saves.
#include <fuzzer/FuzzedDataProvider.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "save_file.h"
#include "targa_writer.h"

namespace {

namespace fs = std::filesystem;

const fs::path& scratch() {
    static const fs::path folder = [] {
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/save_file_fuzz.XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        std::signal(SIGXFSZ, SIG_IGN);
        return fs::path(pattern);
    }();
    return folder;
}

// What a folder holds: each entry's kind and, for files and links, its
// contents or where it points.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const fs::path path = entry.path();
        std::string value;
        if (entry.is_symlink()) {
            value = "link:" + fs::read_symlink(path).string();
        } else if (entry.is_regular_file()) {
            std::ifstream in(path, std::ios::binary);
            value = "file:" + std::string(std::istreambuf_iterator<char>(in), {});
        } else if (entry.is_directory()) {
            value = "folder";
        } else {
            value = "other";
        }
        entries[path.filename().string()] = value;
    }
    return entries;
}

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }

private:
    rlimit saved_{};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const fs::path& folder = scratch();
    for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());

    // The name: any bytes but the separator and the zero, up to a little
    // past the system's limit.
    std::string name = input.ConsumeRandomLengthString(300);
    for (char& c : name) {
        if (c == '/' || c == '\0') c = '_';
    }
    if (name.empty() || name == "." || name == "..") name = "image";
    // The names the links below point to are not the target's.
    if (name == "real" || name == "missing") name += "_";
    const fs::path target = folder / name;
    const bool nameFits = name.size() <= 255;

    // What the name holds before the save.
    const std::string earlier = input.ConsumeRandomLengthString(64);
    const int kind = input.ConsumeIntegralInRange(0, 6);
    std::string linkTo;
    if (nameFits) {
        switch (kind) {
            case 1: std::ofstream(target, std::ios::binary) << earlier; break;
            case 2:
                std::ofstream(folder / "real", std::ios::binary) << earlier;
                linkTo = "real";
                break;
            case 3: linkTo = "missing"; break;
            case 4: linkTo = name; break;
            case 5: fs::create_directory(target); break;
            case 6: ::mkfifo(target.c_str(), 0600); break;
            default: break;
        }
        if (!linkTo.empty()) fs::create_symlink(linkTo, target);
    }
    const auto before = snapshot(folder);

    const bool named = input.ConsumeBool();
    const bool targa = input.ConsumeBool();
    const rlim_t limit = input.ConsumeBool() ? input.ConsumeIntegralInRange<rlim_t>(0, 4096) : RLIM_INFINITY;
    const int stopAfter = input.ConsumeBool() ? input.ConsumeIntegralInRange(0, 8) : -1;

    std::string written;
    bool saved = false;
    fernwise::SaveStop stop;
    if (targa) {
        const int width = input.ConsumeIntegralInRange(1, 24);
        const int height = input.ConsumeIntegralInRange(1, 24);
        auto screen = fernwise::VirtualScreen::create(width, height, fernwise::PixelFormat::Rgb32);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const auto c = input.ConsumeIntegral<std::uint32_t>();
                screen->setRgb(x, y, fernwise::Rgb{std::uint8_t(c), std::uint8_t(c >> 8), std::uint8_t(c >> 16)});
            }
        }
        fernwise::SaveRequest request;
        request.path = target;
        request.fileName = name;
        request.stop = &stop;
        if (stopAfter >= 0) stop.requested = true;
        fernwise::NullSaveProgress progress;
        FileSizeLimit sizeLimit(limit);
        saved = fernwise::writeTarga(request, *screen, progress) == fernwise::SaveStatus::Saved;
    } else {
        fernwise::SaveFile file;
        file.useNamedTemporary(named);
        FileSizeLimit sizeLimit(limit);
        if (file.open(target, &stop)) {
            int writes = 0;
            while (input.remaining_bytes() > 0) {
                if (writes++ == stopAfter) stop.requested = true;
                // Now and then a piece larger than the file's own buffer.
                const std::size_t piece =
                    input.ConsumeBool() ? input.ConsumeIntegralInRange<std::size_t>(0, 200000) : 0;
                std::string bytes = input.ConsumeRandomLengthString(256);
                bytes.append(piece, 'p');
                file.write(bytes.data(), bytes.size());
                written += bytes;
            }
            saved = file.commit();
        }
        if (!saved && file.error() == 0) __builtin_trap();  // a failure always has a reason
    }
    if (stop.namedTemporaries != 0) __builtin_trap();
    // Nothing in the way: every name the file system takes saves.
    if (!saved && nameFits && kind <= 3 && limit == RLIM_INFINITY && stopAfter < 0) __builtin_trap();

    auto after = snapshot(folder);
    if (!saved) {
        if (after != before) __builtin_trap();
        return 0;
    }
    // Saved: the only change is the file at the end of the link chain.
    if (kind == 4 || kind == 5 || !nameFits) __builtin_trap();
    const std::string changed = kind == 2 ? "real" : kind == 3 ? "missing" : name;
    if (!fs::is_regular_file(folder / changed) && kind != 6) __builtin_trap();
    if (!targa && kind != 6 && after[changed] != "file:" + written) __builtin_trap();
    after.erase(changed);
    auto expected = before;
    expected.erase(changed);
    if (after != expected) __builtin_trap();
    return 0;
}
