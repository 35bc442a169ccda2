#include "cli/output.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "cli/cli_error.h"
#include "model/text/message_text.h"

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

// Signals whose default action ends the process, other than the faults that
// a crash raises.
const int EndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGUSR1, SIGUSR2,   SIGALRM,
                             SIGTERM, SIGXCPU, SIGXFSZ, SIGPROF, SIGVTALRM};

// The kernel raises SIGXFSZ in the writing process itself when a write would
// pass the file-size limit (ulimit -f); the write then fails with EFBIG, and
// the command reports that like any failed write. Sent by anyone else, the
// signal ends the process like the others.
bool fileSizeLimitReached(int signal, const siginfo_t* info) {
    return signal == SIGXFSZ && info && info->si_code == SI_USER && info->si_pid == getpid();
}

void removeTemporariesAndDie(int signal, siginfo_t* info, void*) {
    if (fileSizeLimitReached(signal, info)) return;
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

// The file a path finally names: symbolic links followed, even to a target
// that does not exist yet, as a shell's redirection writes through them. A
// loop of links is left to the write to report.
std::string finalTarget(std::string path) {
    constexpr int MostLinks = 40;
    for (int followed = 0; followed < MostLinks; ++followed) {
        struct stat link;
        if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
        std::string target(static_cast<size_t>(link.st_size > 0 ? link.st_size : MaxPathLength) + 1, '\0');
        const ssize_t length = readlink(path.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<size_t>(length) >= target.size()) return path;
        target.resize(static_cast<size_t>(length));
        path = target[0] == '/' ? target : folderOf(path) + "/" + target;
    }
    return path;
}

// Copies the finished temporary file into `target` in place, for a file of
// several hard links: a rename would leave the other names with the old
// contents.
int copyInPlace(const std::string& temporary, const std::string& target) {
    const int from = open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
    if (from < 0) return errno;
    const int to = open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (to < 0) {
        const int error = errno;
        close(from);
        return error;
    }
    char buffer[1 << 16];
    int error = 0;
    for (;;) {
        const ssize_t got = read(from, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got < 0) error = errno;
            break;
        }
        for (ssize_t put = 0; put < got && !error;) {
            const ssize_t written = write(to, buffer + put, static_cast<size_t>(got - put));
            if (written < 0 && errno != EINTR) error = errno;
            if (written > 0) put += written;
        }
        if (error) break;
    }
    close(from);
    if (close(to) != 0 && !error) error = errno;
    if (!error) unlink(temporary.c_str());
    return error;
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

bool sameStatus(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Where an output goes: the file it names, or the path it will have once made.
struct Destination {
    bool exists = false;
    struct stat status {};
    std::string path;
};

Destination destinationOf(const std::string& path) {
    Destination destination;
    destination.exists = path == "-" ? fstat(STDOUT_FILENO, &destination.status) == 0
                                     : stat(path.c_str(), &destination.status) == 0;
    char* folder = path == "-" ? nullptr : realpath(folderOf(path).c_str(), nullptr);
    destination.path = folder ? std::string(folder) + "/" + baseNameOf(path) : path;
    std::free(folder);
    return destination;
}

bool isNullDevice(const Destination& destination) {
    struct stat null;
    return destination.exists && stat("/dev/null", &null) == 0 && sameStatus(destination.status, null);
}

// Whether two outputs would write the same file. Both may write the null
// device: nothing written there is lost.
bool sameFile(const std::string& a, const std::string& b) {
    if (a == "-" && b == "-") return true;
    const Destination first = destinationOf(a);
    const Destination second = destinationOf(b);
    if (first.exists && second.exists) return sameStatus(first.status, second.status) && !isNullDevice(first);
    return first.exists == second.exists && a != "-" && b != "-" && first.path == second.path;
}

}  // namespace

// A file buffer that keeps the error of its first failed write, which the
// stream itself forgets and later calls would overwrite in errno.
class Output::FileBuffer : public std::filebuf {
public:
    int error() const { return error_ ? error_ : EIO; }

protected:
    int_type overflow(int_type c) override {
        errno = 0;
        const int_type result = std::filebuf::overflow(c);
        if (traits_type::eq_int_type(result, traits_type::eof())) note();
        return result;
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        errno = 0;
        const std::streamsize written = std::filebuf::xsputn(text, count);
        if (written < count) note();
        return written;
    }
    int sync() override {
        errno = 0;
        const int result = std::filebuf::sync();
        if (result != 0) note();
        return result;
    }

private:
    void note() {
        if (!error_) error_ = errno;
    }
    int error_ = 0;
};

Output::Output(std::string path) : path_(path == "-" ? std::string() : std::move(path)) {
    name_ = path_.empty() ? "standard output" : shownName(path_);
    if (path_.empty()) return;
    path_ = finalTarget(path_);
    buffer_ = std::make_unique<FileBuffer>();
    file_ = std::make_unique<std::ostream>(buffer_.get());
    struct stat existing;
    if (stat(path_.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) fail(EISDIR);
    if (stat(path_.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        // A device or a pipe (/dev/null, a named pipe) is written in place:
        // renaming over it would replace it.
        if (!buffer_->open(path_, std::ios::out | std::ios::binary)) fail(errno);
        return;
    }
    std::string pattern = folderOf(path_) + "/." + baseNameOf(path_) + ".XXXXXX";
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) fail(errno);
    close(descriptor);
    if (!buffer_->open(pattern, std::ios::out | std::ios::binary | std::ios::trunc)) {
        const int error = errno;
        unlink(pattern.c_str());
        fail(error);
    }
    temporary_ = pattern;
    registerTemporary(temporary_);
}

Output::~Output() {
    if (temporary_.empty() || committed_) return;
    buffer_->close();
    unlink(temporary_.c_str());
    unregisterTemporary(temporary_);
}

std::ostream& Output::stream() { return path_.empty() ? std::cout : *file_; }

void Output::writeWhenLarge(std::string& text) {
    if (text.size() < (1u << 20)) return;
    stream() << text;
    text.clear();
    check();
}

void Output::check() {
    if (stream()) return;
    if (!path_.empty()) fail(buffer_->error());
    if (standardOutputReaderGone()) throw ReaderGone();
    fail(errno ? errno : EIO);
}

void Output::finish() {
    stream().flush();
    check();
    if (path_.empty() || !buffer_->is_open()) return;
    errno = 0;
    if (!buffer_->close()) fail(errno ? errno : EIO);
}

void Output::putInPlace() {
    if (temporary_.empty() || committed_) return;
    struct stat existing;
    if (stat(path_.c_str(), &existing) == 0 && existing.st_nlink > 1) {
        if (const int error = copyInPlace(temporary_, path_)) fail(error);
    } else if (chmod(temporary_.c_str(), modeFor(path_)) != 0 || rename(temporary_.c_str(), path_.c_str()) != 0) {
        fail(errno);
    }
    unregisterTemporary(temporary_);
    committed_ = true;
}

void Output::fail(int error) { throw CliError(ExitFailure, "cannot write " + name_ + ": " + std::strerror(error)); }

Output& OutputSet::add(const std::string& option, const std::string& path) {
    if (path.empty()) throw CliError(ExitBadInput, option + ": the file name is empty");
    for (size_t k = 0; k < paths_.size(); ++k) {
        if (!sameFile(paths_[k], path)) continue;
        if (path == "-" || paths_[k] == "-")
            throw CliError(ExitBadInput, options_[k] + " and " + option + " cannot both go to standard output");
        throw CliError(ExitBadInput, options_[k] + " and " + option + " both name " + shownName(path) +
                                         "; each output needs a file of its own");
    }
    outputs_.push_back(std::make_unique<Output>(path));
    options_.push_back(option);
    paths_.push_back(path);
    return *outputs_.back();
}

void OutputSet::commit() {
    for (const auto& output : outputs_)
        if (!output->toStandardOutput()) output->finish();
    for (const auto& output : outputs_)
        if (output->toStandardOutput()) output->finish();
    for (const auto& output : outputs_) output->putInPlace();
}

void installOutputSignalHandlers() {
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction handler {};
    handler.sa_sigaction = removeTemporariesAndDie;
    handler.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&handler.sa_mask);
    for (const int signal : EndingSignals) sigaddset(&handler.sa_mask, signal);
    for (const int signal : EndingSignals) {
        struct sigaction inherited {};
        if (sigaction(signal, nullptr, &inherited) != 0) continue;
        const bool ignored = !(inherited.sa_flags & SA_SIGINFO) && inherited.sa_handler == SIG_IGN;
        if (!ignored) sigaction(signal, &handler, nullptr);
    }
}
