#pragma once

#include <atomic>
#include <exception>

// Thrown out of the engine's work once its WorkProgress has been asked to
// stop; the work leaves nothing behind.
class WorkStopped : public std::exception {
public:
    const char* what() const noexcept override { return "the work was stopped"; }
};

// How far a long computation has come: the engine counts units of work from
// any thread, and whoever shows progress reads the counts from another.
// Whoever waits for the work may also ask it to stop: the engine counts its
// units between chunks of work, and stops there.
class WorkProgress {
public:
    WorkProgress() = default;
    // Counts of its own, stopping when `outer` stops: for work that is one
    // piece of a larger one.
    explicit WorkProgress(const WorkProgress* outer) : outer_(outer) {}

    // Starts a phase of `total` units; `phase` must outlive the phase.
    void begin(const char* phase, long long total) {
        done_ = 0;
        total_ = total;
        phase_ = phase;
    }
    void add(long long units) { done_.fetch_add(units, std::memory_order_relaxed); }

    const char* phase() const { return phase_; }
    long long done() const { return done_.load(std::memory_order_relaxed); }
    long long total() const { return total_; }

    // From any thread.
    void requestStop() { stopRequested_ = true; }
    bool stopRequested() const { return stopRequested_ || (outer_ && outer_->stopRequested()); }

private:
    std::atomic<const char*> phase_{""};
    std::atomic<long long> done_{0};
    std::atomic<long long> total_{0};
    std::atomic<bool> stopRequested_{false};
    const WorkProgress* outer_ = nullptr;
};

// Adds to `progress` when there is one, and throws WorkStopped when it has
// been asked to stop.
inline void addProgress(WorkProgress* progress, long long units) {
    if (!progress) return;
    progress->add(units);
    if (progress->stopRequested()) throw WorkStopped();
}
