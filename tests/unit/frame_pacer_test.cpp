#include "platform/frame_pacer.h"

#include <gtest/gtest.h>

namespace {

using platform::FramePacer;
using Clock = FramePacer::Clock;

TEST(FramePacer, KeepsOnePollPerPeriodWithoutCatchingUpAfterALatePass) {
    FramePacer pacer;
    EXPECT_LE(pacer.deadline(), Clock::now()) << "the first poll must not wait";
    const Clock::time_point start = Clock::now();
    pacer.waited(start);
    EXPECT_EQ(pacer.deadline(), start + FramePacer::kPeriod);

    // A wait that ends on time keeps the rhythm: deadlines a period apart, however long the pass.
    const Clock::time_point first = pacer.deadline();
    pacer.waited(first);
    EXPECT_EQ(pacer.deadline(), first + FramePacer::kPeriod) << "a punctual pass shifted the rhythm";

    // A pass that ran three periods late is followed by one period, not by three quick passes.
    const Clock::time_point late = pacer.deadline() + 3 * FramePacer::kPeriod;
    pacer.waited(late);
    EXPECT_EQ(pacer.deadline(), late + FramePacer::kPeriod) << "a late pass is followed by catch-up passes";
}

TEST(FramePacer, RaisesTheFrameOnEveryThirtiethPass) {
    FramePacer pacer;
    std::vector<int> raised;
    for (int pass = 1; pass <= 90; ++pass)
        if (pacer.raiseDue()) raised.push_back(pass);
    EXPECT_EQ(raised, (std::vector<int>{30, 60, 90}));
}

}  // namespace
