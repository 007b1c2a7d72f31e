#include "save_file.h"

#include <cerrno>
#include <random>
#include <string>
#include <system_error>

namespace fernwise {
namespace {

namespace fs = std::filesystem;

// A symbolic link is kept: the file it points to is the one replaced.
fs::path resolveTarget(const fs::path& target) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        fs::path resolved = fs::canonical(target, ec);
        if (!ec) return resolved;
    }
    return target;
}

// Opens a new file of a name nobody uses yet beside the target; the "x" mode
// refuses to open a file that already exists.
std::FILE* createTemporary(const fs::path& target, fs::path& temporary) {
    const fs::path folder = target.parent_path();
    std::random_device seed;
    std::minstd_rand numbers(seed());
    for (int attempt = 0; attempt < 64; ++attempt) {
        fs::path candidate = folder / ("." + target.filename().string() + "." + std::to_string(numbers()) + ".part");
        if (std::FILE* file = std::fopen(candidate.string().c_str(), "wbx")) {
            temporary = std::move(candidate);
            return file;
        }
        std::error_code ec;
        if (!fs::exists(candidate, ec)) break;  // refused for another reason than the name
    }
    return nullptr;
}

}  // namespace

bool SaveFile::open(const fs::path& target) {
    abandon();
    ok_ = true;
    error_ = 0;
    target_ = resolveTarget(target);
    temporary_.clear();

    if (target_.filename().empty()) return false;

    std::error_code ec;
    const fs::file_status status = fs::status(target_, ec);
    const bool exists = fs::exists(status);
    if (exists && !fs::is_regular_file(status)) {
        file_ = std::fopen(target_.string().c_str(), "wb");
    } else {
        if (exists) {
            // An existing file that refuses writing must stay so; opening it
            // for appending asks that without touching its contents.
            std::FILE* probe = std::fopen(target_.string().c_str(), "ab");
            if (probe == nullptr) {
                error_ = errno;
                return false;
            }
            std::fclose(probe);
        }
        file_ = createTemporary(target_, temporary_);
        if (file_ != nullptr && exists) fs::permissions(temporary_, status.permissions(), ec);
        // A folder that takes no new files still lets a writable file in it
        // be overwritten, without the safety of the temporary file.
        if (file_ == nullptr && exists) file_ = std::fopen(target_.string().c_str(), "wb");
    }
    if (file_ == nullptr) {
        error_ = errno;
        return false;
    }
    // Fewer, larger writes; stdio owns the buffer.
    std::setvbuf(file_, nullptr, _IOFBF, std::size_t{1} << 16);
    return true;
}

bool SaveFile::write(const void* data, std::size_t size) {
    if (!ok_ || file_ == nullptr) return ok_ = false;
    if (size != 0 && std::fwrite(data, 1, size, file_) != size) {
        ok_ = false;
        if (error_ == 0) error_ = errno;
    }
    return ok_;
}

bool SaveFile::closeFile() {
    if (file_ == nullptr) return false;
    bool closed = std::fflush(file_) == 0;
    if (!closed && error_ == 0) error_ = errno;
    const bool released = std::fclose(file_) == 0;
    if (!released && error_ == 0) error_ = errno;
    closed = released && closed;
    file_ = nullptr;
    return closed;
}

bool SaveFile::commit() {
    if (file_ == nullptr) return false;
    ok_ = closeFile() && ok_;
    if (ok_ && !temporary_.empty()) {
        std::error_code ec;
        fs::rename(temporary_, target_, ec);
        if (ec) {
            ok_ = false;
            error_ = ec.value();
        }
    }
    if (!ok_ && !temporary_.empty()) {
        std::error_code ec;
        fs::remove(temporary_, ec);
    }
    temporary_.clear();
    return ok_;
}

void SaveFile::abandon() {
    if (file_ == nullptr) return;
    closeFile();
    if (!temporary_.empty()) {
        std::error_code ec;
        fs::remove(temporary_, ec);
        temporary_.clear();
    }
}

}  // namespace fernwise
