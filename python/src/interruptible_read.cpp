#include "interruptible_read.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <istream>
#include <streambuf>

#include "model/support/engine_error.h"
#include "model/text/message_text.h"

namespace py = pybind11;

namespace {

// Reads a descriptor for an istream; an interrupted read asks Python whether
// to stop. Stopping, or a failed read, ends the stream as if at its end, and
// the reader then raises what it keeps.
constexpr int LookEveryMilliseconds = 50;

class InterruptibleBuffer : public std::streambuf {
public:
    explicit InterruptibleBuffer(int descriptor) : descriptor_(descriptor) {}

    bool interrupted() const { return interrupted_; }
    int error() const { return error_; }

protected:
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        for (;;) {
            // A signal may reach another of the process's threads and leave
            // this one waiting: Python is asked every so often as well.
            struct pollfd ready{descriptor_, POLLIN, 0};
            const int polled = poll(&ready, 1, LookEveryMilliseconds);
            const ssize_t got = polled > 0 ? read(descriptor_, buffer_, sizeof buffer_) : -1;
            if (got > 0) {
                setg(buffer_, buffer_, buffer_ + got);
                return traits_type::to_int_type(*gptr());
            }
            if (got == 0) return traits_type::eof();
            if (polled != 0 && errno != EINTR) {
                error_ = errno;
                return traits_type::eof();
            }
            if (pythonWantsToStop()) {
                interrupted_ = true;
                return traits_type::eof();
            }
        }
    }

private:
    // Runs Python's signal handlers; an exception they raise stays set in
    // this thread for the caller to raise once it holds the GIL again.
    static bool pythonWantsToStop() {
        py::gil_scoped_acquire hold;
        return PyErr_CheckSignals() != 0;
    }

    const int descriptor_;
    char buffer_[1 << 16];
    bool interrupted_ = false;
    int error_ = 0;
};

[[noreturn]] void cannotRead(const std::string& path, int error) {
    const std::string name = path == "-" ? "standard input" : shownName(path);
    throw EngineError(EngineError::CannotRead, "cannot read " + name + ": " + std::strerror(error));
}

// Closes a descriptor it opened, not standard input.
struct OpenedFile {
    explicit OpenedFile(const std::string& path)
        : descriptor(path == "-" ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC)), owned(path != "-") {
        if (descriptor < 0) cannotRead(path, errno);
    }
    ~OpenedFile() {
        if (owned) close(descriptor);
    }
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

    const int descriptor;
    const bool owned;
};

}  // namespace

NetworkInput readNetworkInterruptibly(const std::string& path) {
    NetworkInput input;
    bool interrupted = false;
    {
        py::gil_scoped_release release;
        const OpenedFile file(path);
        InterruptibleBuffer buffer(file.descriptor);
        std::istream in(&buffer);
        try {
            input = readNetworkInput(in, path);
        } catch (const EngineError&) {
            // A block cut short by the interruption or a failed read is not
            // the block's fault.
            if (!buffer.interrupted() && !buffer.error()) throw;
        }
        interrupted = buffer.interrupted();
        if (!interrupted && buffer.error()) cannotRead(path, buffer.error());
    }
    if (interrupted) throw py::error_already_set();
    return input;
}
