#include "platform/streams/output_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

namespace framolo {

namespace {

constexpr int kMaxLinks = 40;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The temporary file alive now, for RemoveTemporaryOutput, which a signal
// handler may call: it only reads these and calls unlink.
char gTempPath[4096];
volatile std::sig_atomic_t gTempSet = 0;

std::string Reason(int error) {
    return std::strerror(error);
}

[[noreturn]] void Fail(const std::string& path, int error) {
    throw EOutputError("Cannot write \"" + path + "\": " + Reason(error));
}

std::string Folder(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a chain of symbolic links ends at (which need not exist yet).
std::string FollowLinks(const std::string& path) {
    std::string target = path;
    for (int i = 0; i < kMaxLinks; ++i) {
        struct stat st {};
        if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return target;
        std::vector<char> buffer(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = readlink(target.c_str(), buffer.data(), buffer.size());
        if (n < 0 || static_cast<std::size_t>(n) >= buffer.size())
            Fail(path, n < 0 ? errno : ENAMETOOLONG);
        const std::string link(buffer.data(), static_cast<std::size_t>(n));
        target =
            (link.front() == '/' || Folder(target) == ".") ? link : Folder(target) + "/" + link;
    }
    Fail(path, ELOOP);
}

} // namespace

TOutputFile::TOutputFile(const std::string& path) : path_(path) {
    if (path.empty())
        Fail(path, ENOENT);
    struct stat st {};
    // A device or a pipe, reached through whatever links lead to it: the
    // kernel's own links end in names no path can follow (/dev/stdout leads
    // to /proc/self/fd/1 and on to "pipe:[...]"), so the path is asked as given.
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        if (access(path.c_str(), W_OK) != 0)
            Fail(path, errno);
        inPlace_ = true;
        target_ = writePath_ = path;
        return;
    }
    target_ = FollowLinks(path);
    const bool exists = stat(target_.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        Fail(path, EISDIR);
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe takes the result as it is written.
        if (access(target_.c_str(), W_OK) != 0)
            Fail(path, errno);
        inPlace_ = true;
        writePath_ = target_;
        return;
    }
    // The finished file gets the permissions of the one it replaces, or those
    // of any new file.
    mode_t mode = 0;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    TEndingSignalsHeld held;
    if (OpenUnnamed(mode))
        return;
    // The temporary's name carries the target's while it fits in a name.
    const std::string base = BaseName(target_);
    std::string name = Folder(target_) + "/." +
                       (base.size() + 13 <= NAME_MAX ? base : std::string("framolo")) +
                       ".XXXXXX.part";
    const int fd = mkstemps(name.data(), 5);
    if (fd < 0)
        Fail(path, errno);
    fchmod(fd, mode);
    close(fd);
    writePath_ = name;
    if (name.size() < sizeof(gTempPath)) {
        std::memcpy(gTempPath, name.c_str(), name.size() + 1);
        gTempSet = 1;
    }
}

TOutputFile::~TOutputFile() {
    Discard();
}

bool TOutputFile::OpenUnnamed(mode_t mode) {
#if defined(__linux__) && defined(O_TMPFILE)
    // A file without a name vanishes with the process however it ends, even
    // killed; the writers reach it by its /proc name. A file system without
    // unnamed files, or a system without /proc, gets the named temporary.
    const int fd = open(Folder(target_).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    fchmod(fd, mode);
    const std::string reopened = "/proc/self/fd/" + std::to_string(fd);
    if (access(reopened.c_str(), W_OK) != 0) {
        close(fd);
        return false;
    }
    unnamed_ = fd;
    writePath_ = reopened;
    return true;
#else
    (void)mode;
    return false;
#endif
}

void TOutputFile::LinkUnnamed() {
    // A link cannot replace a file: the result is linked under a name of its
    // own beside the target, which a signal handler removes, then renamed.
    if (linkat(AT_FDCWD, writePath_.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return;
    if (errno != EEXIST)
        Fail(path_, errno);
    const std::string folder = Folder(target_);
    for (unsigned attempt = 0;; ++attempt) {
        const std::string name = folder + "/.framolo-" + std::to_string(getpid()) + "-" +
                                 std::to_string(attempt) + ".part";
        if (name.size() < sizeof(gTempPath)) {
            std::memcpy(gTempPath, name.c_str(), name.size() + 1);
            gTempSet = 1;
        }
        if (linkat(AT_FDCWD, writePath_.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            const int error = errno;
            gTempSet = 0;
            if (error == EEXIST && attempt < 100)
                continue;
            Fail(path_, error);
        }
        const int renamed = std::rename(name.c_str(), target_.c_str());
        const int error = errno;
        if (renamed != 0)
            unlink(name.c_str());
        gTempSet = 0;
        if (renamed != 0)
            Fail(path_, error);
        return;
    }
}

void TOutputFile::Commit() {
    if (inPlace_ || committed_)
        return;
    TEndingSignalsHeld held;
    if (unnamed_ >= 0) {
        try {
            LinkUnnamed();
        } catch (const EOutputError&) {
            Discard();
            throw;
        }
        committed_ = true;
        Discard();
        return;
    }
    if (std::rename(writePath_.c_str(), target_.c_str()) != 0) {
        const int error = errno;
        Discard();
        Fail(path_, error);
    }
    committed_ = true;
    gTempSet = 0;
}

void TOutputFile::WriteInPlace(const std::uint8_t* data, std::size_t size) {
    const int fd = open(writePath_.c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0)
        Fail(path_, errno);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            close(fd);
            Fail(path_, error);
        }
        done += static_cast<std::size_t>(n);
    }
    if (close(fd) != 0)
        Fail(path_, errno);
}

void TOutputFile::Discard() {
    if (unnamed_ >= 0) {
        close(unnamed_);
        unnamed_ = -1;
        writePath_.clear();
        return;
    }
    if (inPlace_ || committed_ || writePath_.empty())
        return;
    TEndingSignalsHeld held;
    unlink(writePath_.c_str());
    gTempSet = 0;
    writePath_.clear();
}

void RemoveTemporaryOutput() {
    if (gTempSet != 0)
        unlink(gTempPath);
}

// The ending signals are held while the temporary file and its record in
// gTempPath change together. (Another thread may still take one then; the
// handler only ever sees a whole record or none.)
TEndingSignalsHeld::TEndingSignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (const int s : kEndingSignals)
        sigaddset(&set, s);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
}

TEndingSignalsHeld::~TEndingSignalsHeld() {
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}

} // namespace framolo
