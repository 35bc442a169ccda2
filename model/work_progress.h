#pragma once

#include <atomic>

// How far a long computation has come: the engine counts units of work from
// any thread, and whoever shows progress reads the counts from another.
class WorkProgress {
public:
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

private:
    std::atomic<const char*> phase_{""};
    std::atomic<long long> done_{0};
    std::atomic<long long> total_{0};
};

// Adds to `progress` when there is one.
inline void addProgress(WorkProgress* progress, long long units) {
    if (progress) progress->add(units);
}
