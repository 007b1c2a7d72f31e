#pragma once

// Faults the tests of several libraries inject: a disk that fills up, and
// permissions that bind even a test run by the superuser.

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace fernwise::test {

// Makes writes past `bytes` fail, as a full disk would, for one scope. The
// signal the limit raises is ignored, so the write itself reports it.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

// Permissions do not bind the superuser: for one scope the process acts as
// "nobody" then (its effective user only, so it can come back).
class WithoutPrivileges {
public:
    WithoutPrivileges() : wasRoot_(geteuid() == 0) {
        if (wasRoot_) dropped_ = seteuid(nobody) == 0;
    }
    ~WithoutPrivileges() {
        if (dropped_ && seteuid(0) != 0) std::abort();
    }
    WithoutPrivileges(const WithoutPrivileges&) = delete;
    WithoutPrivileges& operator=(const WithoutPrivileges&) = delete;

    // False when the process is the superuser and could not leave it: the
    // test cannot see a permission refuse anything then.
    bool bound() const { return !wasRoot_ || dropped_; }

    static constexpr uid_t nobody = 65534;

private:
    bool wasRoot_;
    bool dropped_ = false;
};

}  // namespace fernwise::test
