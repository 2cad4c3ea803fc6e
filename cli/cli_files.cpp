// Inputs, outputs renamed into place when complete, and the signal handler that removes a partial
// output (POSIX).
#include "cli_files.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli_options.h"

namespace vrax::cli {
namespace {

// The temporary output being written, for the signal handler; null when there is none.
std::atomic<const char*> partial_output{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free,
              "the signal handler reads this pointer without a lock");

constexpr int FATAL_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void remove_partial_output_and_stop(int signal_number) {
    // unlink and raise are async-signal-safe. SA_RESETHAND has restored the default action, and
    // the signal stays blocked until this handler returns, when it ends the process.
    if (const char* path = partial_output.load()) unlink(path);
    raise(signal_number);
}

sigset_t fatal_signal_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : FATAL_SIGNALS) sigaddset(&set, s);
    return set;
}

// Holds the fatal signals back on this thread for its lifetime, so that the handler never sees a
// temporary that exists but is not yet published (or the reverse).
class FatalSignalsBlocked {
public:
    FatalSignalsBlocked() {
        const sigset_t set = fatal_signal_set();
        pthread_sigmask(SIG_BLOCK, &set, &previous_);
    }
    ~FatalSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

private:
    sigset_t previous_;
};

// The mode of a new file: 0666 less the umask, read once (umask can only be read by setting it).
mode_t new_file_mode() {
    static const mode_t mode = [] {
        const mode_t mask = umask(0);
        umask(mask);
        return mode_t(0666 & ~mask);
    }();
    return mode;
}

// Takes the source's owner where allowed (root; or the group, for a member of it); an output
// owned by the user who ran the command is no failure.
void copy_owner(int fd, const struct stat& source) {
    if (fchown(fd, source.st_uid, source.st_gid) == 0) return;
    if (fchown(fd, uid_t(-1), source.st_gid) == 0) return;
}

// Renames without replacing: where the file system cannot (renameat2 unsupported), checks first
// and renames, which leaves a short window for a file created in between.
bool rename_without_replacing(const char* from, const char* to) {
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat existing;
    if (lstat(to, &existing) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from, to) == 0;
}

}  // namespace

InputFile::~InputFile() {
    if (fd_ >= 0 && !is_stdin_) close(fd_);
}

std::string InputFile::open(const std::string& path) {
    is_stdin_ = path == "-";
    name_ = is_stdin_ ? STDIN_NAME : path;
    fd_ = is_stdin_ ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0 || fstat(fd_, &stat_) != 0) return std::strerror(errno);
    if (S_ISDIR(stat_.st_mode)) return "is a directory; nothing done";
    return "";
}

bool InputFile::is_same_file_as(const std::string& path) const {
    struct stat other;
    return S_ISREG(stat_.st_mode) && stat(path.c_str(), &other) == 0 &&
           other.st_dev == stat_.st_dev && other.st_ino == stat_.st_ino;
}

bool is_written_in_place(const std::string& target) {
    struct stat existing;
    return stat(target.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode) &&
           !S_ISDIR(existing.st_mode);
}

bool OutputFile::create(const std::string& target) {
    target_ = target;
    in_place_ = is_written_in_place(target);
    if (in_place_) {
        fd_ = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        return fd_ >= 0;
    }
    const std::size_t slash = target.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    std::string temp = target.substr(0, base) + "." + target.substr(base) + ".XXXXXX";
    FatalSignalsBlocked blocked;
    fd_ = mkostemp(temp.data(), O_CLOEXEC);
    if (fd_ < 0) return false;
    temp_ = std::move(temp);
    partial_output.store(temp_.c_str());
    return true;
}

bool OutputFile::commit(const struct stat* source, bool replace) {
    if (in_place_) {
        const bool closed = close(fd_) == 0;
        fd_ = -1;
        return closed;
    }
    mode_t mode = new_file_mode();
    if (source != nullptr) {
        copy_owner(fd_, *source);
        mode = source->st_mode & (S_IRWXU | S_IRWXG | S_IRWXO);
    }
    bool ok = fchmod(fd_, mode) == 0;
    if (ok && source != nullptr) {
        const timespec times[2] = {source->st_atim, source->st_mtim};
        ok = futimens(fd_, times) == 0;
    }
    // close reports errors of its own (a deferred write on a network file system, say).
    ok = close(fd_) == 0 && ok;
    fd_ = -1;
    if (ok) {
        ok = replace ? std::rename(temp_.c_str(), target_.c_str()) == 0
                     : rename_without_replacing(temp_.c_str(), target_.c_str());
    }
    if (ok) {
        partial_output.store(nullptr);
        temp_.clear();
        return true;
    }
    const int saved_errno = errno;
    discard();
    errno = saved_errno;
    return false;
}

void OutputFile::discard() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (temp_.empty()) return;
    unlink(temp_.c_str());
    partial_output.store(nullptr);
    temp_.clear();
}

void install_signal_handlers() {
    struct sigaction action {};
    action.sa_handler = remove_partial_output_and_stop;
    action.sa_mask = fatal_signal_set();
    action.sa_flags = SA_RESETHAND;
    for (int s : FATAL_SIGNALS) {
        struct sigaction current;
        if (sigaction(s, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        sigaction(s, &action, nullptr);
    }
}

std::string format_suffix(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= base) return "";
    std::string suffix = path.substr(dot + 1);
    return is_format_name(suffix) ? suffix : "";
}

}  // namespace vrax::cli
