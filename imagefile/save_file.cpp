#include "save_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <system_error>

namespace fernwise {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t bufferBytes = std::size_t{1} << 16;
// A stop request is seen at least this often during one long write.
constexpr std::size_t chunkBytes = std::size_t{1} << 20;
// As many links as the system itself follows before it gives up.
constexpr int maxLinks = 40;

// Follows symbolic links to the name they end at, which may not exist yet.
bool followLinks(fs::path& path, int& error) {
    for (int hops = 0; hops <= maxLinks; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
        std::error_code ec;
        const fs::path to = fs::read_symlink(path, ec);
        if (ec) {
            error = ec.value();
            return false;
        }
        path = to.is_absolute() ? to : path.parent_path() / to;
    }
    error = ELOOP;
    return false;
}

fs::path folderOf(const fs::path& target) {
    fs::path folder = target.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

// A short hidden name, whatever the length of the target's: any name the
// file system takes must save.
fs::path temporaryName(const fs::path& folder, std::minstd_rand& numbers) {
    return folder / (".fernwise-" + std::to_string(numbers()) + ".part");
}

std::minstd_rand seededNumbers() {
    const auto now = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    return std::minstd_rand(now ^ static_cast<unsigned>(::getpid()) << 16);
}

// An unnamed file in `folder`, or -1 with errno set; EOPNOTSUPP where the
// system or the file system has none.
int createUnnamed([[maybe_unused]] const fs::path& folder) {
#ifdef O_TMPFILE
    // Giving the file a name at the end goes through /proc for a process
    // without the capability to link a descriptor directly.
    if (::geteuid() == 0 || ::access("/proc/self/fd", X_OK) == 0) {
        return ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    }
#endif
    errno = EOPNOTSUPP;
    return -1;
}

bool noUnnamedFiles(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOTSUP; }

// Errors that say the folder takes no new entries while its files may still
// be written.
bool folderRefusesEntries(int error) { return error == EACCES || error == EPERM; }

int closeDescriptor(int fd) {
    // Linux closes the descriptor even when close reports EINTR.
    return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
}

}  // namespace

SaveFile::SaveFile() = default;

SaveFile::~SaveFile() { abandon(); }

bool SaveFile::fail(SaveFailure failure, int error) {
    if (failure_ == SaveFailure::None) {
        failure_ = failure;
        error_ = error;
    }
    ok_ = false;
    return false;
}

bool SaveFile::stopRequested() const { return stop_ != nullptr && stop_->requested.load(std::memory_order_relaxed); }

void SaveFile::countNamed(int change) {
    if (stop_ == nullptr || counted_ == (change > 0)) return;
    stop_->namedTemporaries.fetch_add(change);
    counted_ = change > 0;
}

bool SaveFile::open(const fs::path& target, SaveStop* stop) {
    abandon();
    ok_ = true;
    error_ = 0;
    failure_ = SaveFailure::None;
    stop_ = stop;
    target_ = target;
    temporary_.clear();

    if (target_.filename().empty()) return fail(SaveFailure::CannotOpen, target_.empty() ? ENOENT : EISDIR);
    int error = 0;
    if (!followLinks(target_, error)) return fail(SaveFailure::CannotOpen, error);
    if (stopRequested()) return fail(SaveFailure::CannotOpen, ECANCELED);
    if (!buffer_) buffer_.reset(new (std::nothrow) char[bufferBytes]);
    if (!buffer_) return fail(SaveFailure::CannotOpen, ENOMEM);

    struct stat info {};
    const bool exists = ::stat(target_.c_str(), &info) == 0;
    if (!exists && errno != ENOENT) return fail(SaveFailure::CannotOpen, errno);

    if (exists && !S_ISREG(info.st_mode)) {
        // A device or a pipe is written as it is. Without blocking: a pipe
        // nobody reads refuses instead of holding the program for good.
        fd_ = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) return fail(SaveFailure::CannotOpen, errno);
        const int flags = ::fcntl(fd_, F_GETFL);
        if (flags != -1) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
        mode_ = Mode::Direct;
        return true;
    }
    if (exists) {
        // An existing file that refuses writing must stay so; opening it
        // without truncating asks that without touching its contents.
        const int probe = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (probe < 0) return fail(SaveFailure::CannotOpen, errno);
        ::close(probe);
    }

    const fs::path folder = folderOf(target_);
    if (namedOnly_) {
        fd_ = -1;
        errno = EOPNOTSUPP;
    } else {
        fd_ = createUnnamed(folder);
    }
    if (fd_ >= 0) {
        mode_ = Mode::Unnamed;
    } else if (noUnnamedFiles(errno)) {
        countNamed(+1);
        std::minstd_rand numbers = seededNumbers();
        for (int attempt = 0; attempt < 64; ++attempt) {
            const fs::path candidate = temporaryName(folder, numbers);
            fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd_ >= 0) {
                temporary_ = candidate;
                mode_ = Mode::Named;
                break;
            }
            if (errno != EEXIST) break;
        }
        if (fd_ < 0) {
            error = errno;
            countNamed(-1);
            errno = error;
        }
    }
    if (fd_ < 0) {
        error = errno;
        // Only a folder that takes no new entries lets a writable file in it
        // be overwritten in place; no space, no inodes or a read-only file
        // system leave the target as it was.
        if (!exists || !folderRefusesEntries(error)) return fail(SaveFailure::CannotOpen, error);
        fd_ = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) return fail(SaveFailure::CannotOpen, errno);
        mode_ = Mode::Direct;
        return true;
    }
    if (exists) {
        // The new file replaces the old one with its owner and permissions
        // where the process may give them.
        [[maybe_unused]] const int owned = ::fchown(fd_, info.st_uid, info.st_gid);
        ::fchmod(fd_, info.st_mode & 07777);
    }
    return true;
}

bool SaveFile::writeAll(const char* data, std::size_t size) {
    while (size > 0) {
        if (stopRequested()) return fail(SaveFailure::WriteFailed, ECANCELED);
        const ssize_t written = ::write(fd_, data, std::min(size, chunkBytes));
        if (written < 0) {
            if (errno == EINTR) continue;
            return fail(SaveFailure::WriteFailed, errno);
        }
        if (written == 0) return fail(SaveFailure::WriteFailed, ENOSPC);
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool SaveFile::flushBuffer() {
    const std::size_t size = buffered_;
    buffered_ = 0;
    return writeAll(buffer_.get(), size);
}

bool SaveFile::write(const void* data, std::size_t size) {
    if (!ok_) return false;
    if (fd_ < 0) return fail(SaveFailure::WriteFailed, EBADF);
    if (stopRequested()) return fail(SaveFailure::WriteFailed, ECANCELED);
    const char* bytes = static_cast<const char*>(data);
    if (size <= bufferBytes - buffered_) {
        if (size != 0) std::memcpy(buffer_.get() + buffered_, bytes, size);
        buffered_ += size;
        return true;
    }
    if (!flushBuffer()) return false;
    if (size < bufferBytes) {
        std::memcpy(buffer_.get(), bytes, size);
        buffered_ = size;
        return true;
    }
    return writeAll(bytes, size);
}

// Gives the finished file the target's name: an unnamed file is first
// linked under a temporary name, since a link never replaces a file.
bool SaveFile::putInPlace() {
#ifdef O_TMPFILE
    if (mode_ == Mode::Unnamed) {
        countNamed(+1);
        std::minstd_rand numbers = seededNumbers();
        const std::string descriptor = "/proc/self/fd/" + std::to_string(fd_);
        for (int attempt = 0; attempt < 64 && temporary_.empty(); ++attempt) {
            const fs::path candidate = temporaryName(folderOf(target_), numbers);
            int linked = ::linkat(fd_, "", AT_FDCWD, candidate.c_str(), AT_EMPTY_PATH);
            if (linked != 0 && errno != EEXIST) {
                linked = ::linkat(AT_FDCWD, descriptor.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW);
            }
            if (linked == 0) {
                temporary_ = candidate;
            } else if (errno != EEXIST) {
                break;
            }
        }
        if (temporary_.empty()) return fail(SaveFailure::WriteFailed, errno);
    }
#endif
    if (const int error = closeDescriptor(fd_); error != 0) {
        fd_ = -1;
        return fail(SaveFailure::WriteFailed, error);
    }
    fd_ = -1;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) return fail(SaveFailure::WriteFailed, errno);
    temporary_.clear();
    countNamed(-1);
    // The new name itself reaches the disk.
    const int folder = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

bool SaveFile::commit() {
    if (fd_ < 0) {
        fail(SaveFailure::WriteFailed, EBADF);
        abandon();
        return false;
    }
    if (ok_ && flushBuffer()) {
        if (mode_ == Mode::Direct) {
            const int error = closeDescriptor(fd_);
            fd_ = -1;
            if (error != 0) fail(SaveFailure::WriteFailed, error);
        } else if (::fsync(fd_) != 0) {
            // Some file systems report a full disk only here.
            fail(SaveFailure::WriteFailed, errno);
        } else {
            putInPlace();
        }
    }
    const bool saved = ok_;
    abandon();
    return saved;
}

void SaveFile::abandon() {
    if (fd_ >= 0) {
        closeDescriptor(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
    countNamed(-1);
    buffered_ = 0;
    mode_ = Mode::Closed;
}

}  // namespace fernwise
