// Small text readers shared by the vendor counters: decimal conversion in
// the manner of atoi over a bounded range, and a search for the next of two
// lead bytes that keeps memchr speed.
#pragma once

#include <algorithm>
#include <cstdint>

#include "jobfile/bytes.h"

namespace qm {

// Converts the text at [i, end) like atoi: leading white space, one sign,
// digits up to the first non-digit; no digits gives 0. Never reads at or
// past `end` or the end of the data. Overlong numbers wrap as 32-bit values.
inline int32_t AtoiIn(const Bytes& job, uint32_t i, uint32_t end) noexcept {
    if (end > job.size) end = job.size;
    while (i < end && (job[i] == ' ' || (job[i] >= '\t' && job[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < end && (job[i] == '-' || job[i] == '+')) {
        negative = job[i] == '-';
        ++i;
    }
    uint32_t value = 0;
    for (; i < end && job[i] >= '0' && job[i] <= '9'; ++i) value = value * 10u + (job[i] - '0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}

// The next index at or after i whose byte is `a` or `b` (the end when none).
// Each lead byte's next place is remembered, so a job is searched once per
// byte value however the two interleave.
class TwoByteFinder {
public:
    TwoByteFinder(const Bytes& job, uint8_t a, uint8_t b) noexcept : job_(job), a_(a), b_(b) {}

    uint32_t next(uint32_t i) noexcept {
        if (nextA_ < i || !primed_) nextA_ = job_.find(i, a_);
        if (nextB_ < i || !primed_) nextB_ = job_.find(i, b_);
        primed_ = true;
        return std::min(nextA_, nextB_);
    }

private:
    const Bytes& job_;
    uint8_t a_, b_;
    uint32_t nextA_ = 0, nextB_ = 0;
    bool primed_ = false;
};

}  // namespace qm
