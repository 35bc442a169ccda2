#pragma once

// Paces the passes of the loop to the frame rate that the run speed counts
// on, for a caller that is woken more often: a browser calls back at the
// display's refresh rate, which is 120 or 144 a second on some displays.
// Woken at that rate or slower, every wake-up is a frame. Times are in
// milliseconds from any fixed origin.
class FrameClock {
public:
    explicit FrameClock(double framesPerSecond) : period_(1000.0 / framesPerSecond) {}

    // Whether a frame is due at `now`; if so, the next one is booked a
    // period later. A wake-up a little early counts, since callbacks at the
    // frame rate itself jitter around their times. After a stall (a long
    // analysis, a hidden page) the clock starts afresh instead of catching up.
    bool due(double now) {
        if (booked_ && now < next_ - period_ * EarlyShare) return false;
        next_ = booked_ ? next_ + period_ : now + period_;
        if (next_ < now) next_ = now + period_;
        booked_ = true;
        return true;
    }

private:
    static constexpr double EarlyShare = 0.25;
    double period_;
    double next_ = 0.0;
    bool booked_ = false;
};
