// Small text readers shared by the vendor counters: decimal conversion in
// the manner of atoi over a bounded range.
#pragma once

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

}  // namespace qm
