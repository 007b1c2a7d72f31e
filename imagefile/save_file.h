#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <memory>

namespace fernwise {

// Lets a program's signal handler stop the saves in progress. The handler
// sets `requested`; a save that sees it fails at its next write (within a
// megabyte) and leaves the earlier file as it was. `namedTemporaries` counts
// the open saves whose temporary file has a name in the folder (where the
// file system has no unnamed files): a handler that finds none may end the
// process at once, since that would leave nothing behind.
struct SaveStop {
    std::atomic<bool> requested{false};
    std::atomic<int> namedTemporaries{0};
};

// Why a save failed.
enum class SaveFailure {
    None,
    CannotOpen,   // open failed: the target is untouched
    WriteFailed,  // a write, the flush or putting the file in place failed
};

// The file an image, the notes or any other whole file is saved into. It is
// written as a new file in the target's folder (unnamed where the system can,
// else under a short hidden name) that takes the target's place only once
// everything was written and flushed to the disk, so that a failed save never
// destroys a file the user already had and a process killed while saving
// leaves nothing behind.
//
// A symbolic link is written through: the file it points to is replaced, and
// a link that points to a missing file in an existing folder creates that
// file; the link itself stays. A target that is not a regular file (a device
// such as /dev/full, a pipe with a reader) is written directly. Only where the
// folder refuses new entries (no write permission, a sealed folder) is an
// existing writable file written in place, without that safety; any other
// failure to create the new file (no space, no inodes, a read-only file
// system) fails the save with the target untouched.
class SaveFile {
public:
    SaveFile();
    SaveFile(const SaveFile&) = delete;
    SaveFile& operator=(const SaveFile&) = delete;
    ~SaveFile();

    // False when the target cannot be written: it names no file, an
    // existing target refuses writing, or a new one cannot be created.
    // `stop`, when given, must outlive the save.
    bool open(const std::filesystem::path& target, SaveStop* stop = nullptr);

    // False when this or any earlier write failed; later writes are then
    // skipped.
    bool write(const void* data, std::size_t size);
    bool ok() const { return ok_; }

    // The system's reason (an errno value) for the first failure of open,
    // write or commit; 0 when none failed or the system gave none. A stop
    // request reads as ECANCELED.
    int error() const { return error_; }
    SaveFailure failure() const { return failure_; }

    // Flushes and closes the file and puts it in place of the target. False
    // when any write, the flush or the move failed; the new file is then
    // removed and the target left as it was.
    bool commit();

    // Closes the file and removes the new one; the target is untouched.
    void abandon();

    // Later opens use a named temporary file, as on a file system without
    // unnamed ones; lets tests reach that path anywhere.
    void useNamedTemporary(bool named) { namedOnly_ = named; }

private:
    enum class Mode { Closed, Unnamed, Named, Direct };

    bool fail(SaveFailure failure, int error);
    bool flushBuffer();
    bool writeAll(const char* data, std::size_t size);
    bool stopRequested() const;
    void countNamed(int change);
    bool putInPlace();

    int fd_ = -1;
    Mode mode_ = Mode::Closed;
    std::filesystem::path target_;
    std::filesystem::path temporary_;  // the named temporary file, while it exists
    std::unique_ptr<char[]> buffer_;
    std::size_t buffered_ = 0;
    SaveStop* stop_ = nullptr;
    bool namedOnly_ = false;
    bool counted_ = false;  // counted in stop_->namedTemporaries
    bool ok_ = true;
    int error_ = 0;
    SaveFailure failure_ = SaveFailure::None;
};

}  // namespace fernwise
