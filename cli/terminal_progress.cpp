#include "cli/terminal_progress.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace {

constexpr auto QuietPeriod = std::chrono::seconds(1);
constexpr auto UpdatePeriod = std::chrono::milliseconds(200);

}  // namespace

TerminalProgress::TerminalProgress(const WorkProgress& progress) : progress_(progress) {
    if (wanted()) watcher_ = std::thread(&TerminalProgress::watch, this);
}

TerminalProgress::~TerminalProgress() {
    if (!watcher_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    stop_.notify_one();
    watcher_.join();
    if (shown_) std::fputs("\r\033[K", stderr);
}

bool TerminalProgress::wanted() { return isatty(STDERR_FILENO) == 1; }

void TerminalProgress::watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (stop_.wait_for(lock, QuietPeriod, [this] { return stopping_; })) return;
    do show();
    while (!stop_.wait_for(lock, UpdatePeriod, [this] { return stopping_; }));
}

void TerminalProgress::show() {
    const long long total = progress_.total();
    const long long done = progress_.done();
    if (total > 0)
        std::fprintf(stderr, "\r\033[Kvorlask-cli: %s %3lld%%", progress_.phase(), done * 100 / total);
    else
        std::fprintf(stderr, "\r\033[Kvorlask-cli: %s", progress_.phase());
    std::fflush(stderr);
    shown_ = true;
}
