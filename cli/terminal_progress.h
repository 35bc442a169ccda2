#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "model/support/work_progress.h"

// One updating line on standard error for work that takes longer than about
// a second, when standard error is a terminal; nothing otherwise. It reads
// the counts of a WorkProgress from a thread of its own and erases its line
// when it ends.
class TerminalProgress {
public:
    explicit TerminalProgress(const WorkProgress& progress);
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // Whether a line would be shown: standard error is a terminal.
    static bool wanted();

private:
    void watch();
    void show();

    const WorkProgress& progress_;
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopping_ = false;
    bool shown_ = false;
    std::thread watcher_;
};
