// The PCL escape-sequence syntax (read by the PCL and HP-GL/2 counters), the
// skip of a command block of another printer language (PCL and Unix text
// PCL), and the result record that the PCL and Unix text PCL counters share.
#pragma once

#include <cstdint>

#include "jobfile/bytes.h"
#include "jobfile/diag.h"
#include "pcl/leadbytes.h"
#include "quirometer/quirometer.h"

namespace qm {

inline constexpr uint8_t kEsc = 0x1B;
inline constexpr const char* kLonelyEscLine = "sheetler.dll!GetTotalPageCount_PCL: Lonely ESC!\n";

// One value and parameter pair of a parameterised escape sequence:
// ESC c g value f, where c is one of & * ( ) %.
struct PclPair {
    uint8_t c;       // parameterised character
    uint8_t g;       // group character (after "%", the one of the previous sequence)
    uint8_t f;       // parameter character, as written
    uint32_t value;  // decimal digits only: "-", "." and "/" are passed over
    uint32_t at;     // index of f
    bool last;       // f ends the sequence (upper case, or an ESC follows it)

    // f without regard to case.
    constexpr uint8_t upper() const noexcept {
        return (f >= 'a' && f <= 'z') ? static_cast<uint8_t>(f - 32) : f;
    }
};

constexpr bool IsPclParameterised(int c) noexcept {
    return c == '&' || c == '*' || c == '(' || c == ')' || c == '%';
}

// Reads the escape sequence whose ESC is at i and hands each pair to
// onPair(pair, idx). idx starts at the pair's parameter character; a handler
// that steps over data or moves ahead sets it further on (job.size or more
// ends the scan), and the sequence then ends there. Returns the index of the
// last byte consumed, or job.size when the job ends inside the sequence or a
// skip reaches its end. `group` carries the group character from one
// sequence to the next.
template <class OnPair>
uint32_t ParsePclEscape(Bytes job, uint32_t i, uint8_t& group, OnPair&& onPair) {
    const int c = job.at(i + 1);
    if (c == kEsc) return i;  // the second ESC starts the sequence
    if (!IsPclParameterised(c)) {
        DebugOutput(kLonelyEscLine);  // a fixed line: nothing to format
        return job.has(i + 1) ? i + 1 : job.size;  // two-character sequences count nothing
    }
    if (c != '%') {
        if (!job.has(i + 2)) return job.size;
        group = job[i + 2];
    }
    uint32_t p = i + 3;  // after "%" the byte at i + 2 is passed over unread
    for (;;) {
        uint32_t value = 0;
        while (p < job.size && job[p] >= '-' && job[p] <= '9') {
            if (job[p] >= '0') value = value * 10 + (job[p] - '0');
            ++p;
        }
        if (p >= job.size) return job.size;
        const uint8_t f = job[p];
        const bool last = !(f >= 'a' && f <= 'z') || job.at(p + 1) == kEsc;
        uint32_t idx = p;
        onPair(PclPair{static_cast<uint8_t>(c), group, f, value, p, last}, idx);
        if (idx >= job.size) return job.size;
        if (idx != p || last) return idx;  // data passed over: nothing of the sequence follows
        ++p;
    }
}

// Index of the first byte at or after i that is one of `a`, `b` (and `c`),
// or job.size when none.
inline uint32_t FindEither(Bytes job, uint32_t i, uint8_t a, uint8_t b) noexcept {
    return FindAny(job, i, a, b);
}
inline uint32_t FindAnyOf(Bytes job, uint32_t i, uint8_t a, uint8_t b, uint8_t c) noexcept {
    return FindAny(job, i, a, b, c);
}

// Passes over a block of another printer language that opens with "!R!" and
// closes with "EXIT;" (either case). At an opening at i it returns the index
// of the closing ";" unless none follows or the ";" is the job's last byte;
// otherwise i. The last search is remembered, so calling it at every "!" of
// a job stays linear in the job's size.
class CommandBlockSkip {
public:
    uint32_t operator()(Bytes job, uint32_t i) noexcept;

private:
    uint32_t searchedFrom_ = UINT32_MAX;
    uint32_t found_ = 0;  // the ";" found from searchedFrom_, or job.size
};

// The record that the PCL and Unix text PCL counters assemble their result
// in (the host never runs the two at the same time).
PageCountResult& SharedPclRecord() noexcept;

}  // namespace qm
