#include "cli/output.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "cli/cli_error.h"

namespace {

// Temporary files that a signal must remove: fixed storage, because only
// async-signal-safe calls may touch it from the handler.
constexpr size_t MaxTemporaries = 8;
constexpr size_t MaxPathLength = 4096;
char temporaries[MaxTemporaries][MaxPathLength];
volatile sig_atomic_t temporaryInUse[MaxTemporaries];

void registerTemporary(const std::string& path) {
    if (path.size() >= MaxPathLength) return;
    for (size_t k = 0; k < MaxTemporaries; ++k) {
        if (temporaryInUse[k]) continue;
        std::memcpy(temporaries[k], path.c_str(), path.size() + 1);
        temporaryInUse[k] = 1;
        return;
    }
}

void unregisterTemporary(const std::string& path) {
    for (size_t k = 0; k < MaxTemporaries; ++k)
        if (temporaryInUse[k] && path == temporaries[k]) temporaryInUse[k] = 0;
}

void removeTemporariesAndDie(int signal) {
    for (size_t k = 0; k < MaxTemporaries; ++k)
        if (temporaryInUse[k]) unlink(temporaries[k]);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The mode the file gets: an existing file's own, else what the umask allows.
mode_t modeFor(const std::string& path) {
    struct stat existing;
    if (stat(path.c_str(), &existing) == 0) return existing.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

bool standardOutputReaderGone() {
    struct pollfd descriptor{STDOUT_FILENO, 0, 0};
    return poll(&descriptor, 1, 0) == 1 && (descriptor.revents & POLLERR);
}

}  // namespace

Output::Output(std::string path) : path_(path == "-" ? std::string() : std::move(path)) {
    name_ = path_.empty() ? "standard output" : path_;
    if (path_.empty()) return;
    struct stat existing;
    if (stat(path_.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) fail("is a folder");
    if (stat(path_.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        // A device or a pipe (/dev/null, a named pipe) is written in place:
        // renaming over it would replace it.
        file_.open(path_, std::ios::binary);
        if (!file_) fail(std::strerror(errno));
        return;
    }
    std::string pattern = folderOf(path_) + "/." + baseNameOf(path_) + ".XXXXXX";
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) fail(std::strerror(errno));
    close(descriptor);
    file_.open(pattern, std::ios::binary | std::ios::trunc);
    if (!file_) {
        const int error = errno;
        unlink(pattern.c_str());
        fail(std::strerror(error));
    }
    temporary_ = pattern;
    registerTemporary(temporary_);
}

Output::~Output() {
    if (temporary_.empty() || committed_) return;
    file_.close();
    unlink(temporary_.c_str());
    unregisterTemporary(temporary_);
}

std::ostream& Output::stream() { return path_.empty() ? std::cout : file_; }

void Output::writeWhenLarge(std::string& text) {
    if (text.size() < (1u << 20)) return;
    stream() << text;
    text.clear();
    check();
}

void Output::check() {
    if (stream()) return;
    if (path_.empty() && standardOutputReaderGone()) throw ReaderGone();
    fail(std::strerror(errno ? errno : EIO));
}

void Output::commit() {
    stream().flush();
    check();
    if (path_.empty()) return;
    file_.close();
    if (!file_) fail(std::strerror(errno));
    if (temporary_.empty()) return;
    if (chmod(temporary_.c_str(), modeFor(path_)) != 0 || rename(temporary_.c_str(), path_.c_str()) != 0)
        fail(std::strerror(errno));
    unregisterTemporary(temporary_);
    committed_ = true;
}

void Output::fail(const std::string& what) { throw CliError(ExitFailure, "cannot write " + name_ + ": " + what); }

void installOutputSignalHandlers() {
    std::signal(SIGPIPE, SIG_IGN);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, removeTemporariesAndDie);
}
