#include "interruptible_work.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace py = pybind11;

namespace {

// Ctrl+C is seen within this; the callback is called at most once per ReportPeriod.
constexpr auto PollPeriod = std::chrono::milliseconds(40);
constexpr auto ReportPeriod = std::chrono::milliseconds(250);

// The work on its own thread, its failure kept for the waiting thread.
class WorkThread {
public:
    explicit WorkThread(const std::function<void()>& work)
        : thread_([this, &work] {
              try {
                  work();
              } catch (...) {
                  failure_ = std::current_exception();
              }
              std::lock_guard<std::mutex> lock(mutex_);
              finished_ = true;
              finishedSignal_.notify_all();
          }) {}

    ~WorkThread() {
        if (thread_.joinable()) thread_.join();
    }

    bool waitFor(std::chrono::milliseconds period) {
        std::unique_lock<std::mutex> lock(mutex_);
        return finishedSignal_.wait_for(lock, period, [this] { return finished_; });
    }

    void join() { thread_.join(); }
    std::exception_ptr failure() const { return failure_; }

private:
    std::mutex mutex_;
    std::condition_variable finishedSignal_;
    bool finished_ = false;
    std::exception_ptr failure_;
    std::thread thread_;  // last: it starts once the members above exist
};

// A Python exception taken out of the interpreter while the work winds down,
// raised again afterwards. Only touched with the GIL held.
class PendingError {
public:
    ~PendingError() {
        Py_XDECREF(type_);
        Py_XDECREF(value_);
        Py_XDECREF(traceback_);
    }
    bool pending() const { return type_ != nullptr; }
    void takeFromInterpreter() { PyErr_Fetch(&type_, &value_, &traceback_); }
    [[noreturn]] void raise() {
        PyErr_Restore(type_, value_, traceback_);
        type_ = value_ = traceback_ = nullptr;
        throw py::error_already_set();
    }

private:
    PyObject* type_ = nullptr;
    PyObject* value_ = nullptr;
    PyObject* traceback_ = nullptr;
};

// The whole work's fraction done from the counts of its current phase.
class FractionReporter {
public:
    FractionReporter(const WorkProgress& counts, const PhaseShares& phases, const py::object& callback)
        : counts_(counts), phases_(phases), callback_(callback), lastReport_(std::chrono::steady_clock::now()) {
        double total = 0.0;
        for (const auto& phase : phases_) total += phase.second;
        for (auto& phase : phases_) phase.second = total > 0 ? phase.second / total : 0.0;
    }

    // Calls the callback when a report is due; false when it raised, the
    // exception left in the interpreter.
    bool reportWhenDue() {
        if (callback_.is_none()) return true;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastReport_ < ReportPeriod) return true;
        lastReport_ = now;
        return report(fraction());
    }

    bool reportFinished() { return callback_.is_none() || report(1.0); }

private:
    bool report(double fraction) {
        try {
            callback_(fraction);
            return true;
        } catch (py::error_already_set& e) {
            e.restore();
            return false;
        }
    }

    // Phases are told apart by name; the counts of a phase are read while
    // the work goes on, so the fraction is kept from going back.
    double fraction() {
        const std::string phase = counts_.phase();
        double before = 0.0;
        for (const auto& [name, share] : phases_) {
            if (name == phase) {
                const long long total = counts_.total();
                const double within = total > 0 ? static_cast<double>(counts_.done()) / total : 0.0;
                last_ = std::max(last_, before + share * std::min(std::max(within, 0.0), 1.0));
                break;
            }
            before += share;
        }
        return last_;
    }

    const WorkProgress& counts_;
    PhaseShares phases_;
    const py::object& callback_;
    std::chrono::steady_clock::time_point lastReport_;
    double last_ = 0.0;
};

}  // namespace

void checkProgressCallback(const py::object& progress) {
    if (!progress.is_none() && !PyCallable_Check(progress.ptr()))
        throw py::type_error("progress must be None or a callable taking the fraction done");
}

void runInterruptibly(WorkProgress& counts, const PhaseShares& phases, const py::object& progress,
                      const std::function<void()>& work) {
    checkProgressCallback(progress);
    FractionReporter reporter(counts, phases, progress);
    PendingError pending;
    std::exception_ptr failure;
    {
        py::gil_scoped_release release;
        WorkThread thread(work);
        while (!thread.waitFor(PollPeriod)) {
            py::gil_scoped_acquire acquire;
            if (pending.pending()) continue;
            if (PyErr_CheckSignals() != 0 || !reporter.reportWhenDue()) {
                pending.takeFromInterpreter();
                counts.requestStop();
            }
        }
        thread.join();
        failure = thread.failure();
    }
    // A stop asked for wins over whatever the work ended with.
    if (pending.pending()) pending.raise();
    if (failure) std::rethrow_exception(failure);
    if (!reporter.reportFinished()) throw py::error_already_set();
}
