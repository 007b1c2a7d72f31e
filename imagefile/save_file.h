#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>

namespace fernwise {

// The file an image is saved into. It writes a temporary file beside the
// target and moves it over the target only once everything was written, so
// that a failed save never destroys a file the user already had. A target
// that is not a regular file (a device such as /dev/full, a pipe) cannot be
// replaced that way and is written directly, and so is a writable file in a
// folder that takes no new files.
class SaveFile {
public:
    SaveFile() = default;
    SaveFile(const SaveFile&) = delete;
    SaveFile& operator=(const SaveFile&) = delete;
    ~SaveFile() { abandon(); }

    // False when the target cannot be written: it names no file, an
    // existing target refuses writing, or a new one cannot be created.
    bool open(const std::filesystem::path& target);

    // False when this or any earlier write failed; later writes are then
    // skipped.
    bool write(const void* data, std::size_t size);
    bool ok() const { return ok_; }

    // The system's reason (an errno value) for the first failure of open,
    // write or commit; 0 when none failed or the system gave none.
    int error() const { return error_; }

    // Flushes and closes the file and puts it in place of the target. False
    // when any write, the flush or the move failed; the temporary file is
    // then removed and the target left as it was.
    bool commit();

    // Closes the file and removes the temporary one; the target is untouched.
    void abandon();

private:
    bool closeFile();

    std::FILE* file_ = nullptr;
    std::filesystem::path target_;
    std::filesystem::path temporary_;  // empty when writing the target directly
    bool ok_ = true;
    int error_ = 0;
};

}  // namespace fernwise
