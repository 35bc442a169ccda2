#pragma once

#include "model/support/work_progress.h"

// Counts the passes over the transient rows of a long-run computation and
// stops it at the cap: spend() throws Exhausted once the cap is passed.
class PassBudget {
public:
    struct Exhausted {};

    PassBudget(long long cap, WorkProgress* progress) : cap_(cap), progress_(progress) {}

    void spend() {
        if (spent_ >= cap_) throw Exhausted{};
        ++spent_;
        addProgress(progress_, 1);
    }
    long long spent() const { return spent_; }
    long long left() const { return cap_ - spent_; }

private:
    const long long cap_;
    WorkProgress* const progress_;
    long long spent_ = 0;
};
