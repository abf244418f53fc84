// Printronix graphics jobs: pages are the export's page markers. The copies
// field after a marker is read by the same rule (prefix ending in 0x91,
// digits stored exclusive-or 0xAA, terminator 0xA7, read while the copies so
// far are below 2), but only decimal digits make a count: a field holding
// anything else, or cut by the end of the job, states no believable number.
#include "vendorlang/vendor_accurate.h"

namespace qm::accurate {
namespace {

constexpr uint8_t kMarker[] = {0xD4, 0xEF, 0xF2};
constexpr uint8_t kPrefixEnd = 0x91, kTerminator = 0xA7, kDigitMask = 0xAA;
constexpr uint32_t kPrefixEndOffset = 16;
constexpr uint32_t kCopiesCap = 1000000;

// The copies field of the marker at p: its terminator's index, or the end
// of the job; `valid` false when a byte of it is no digit.
uint32_t ReadCopies(const Bytes& job, uint32_t p, uint32_t& copies, bool& valid) {
    uint32_t i = SkipBy(job, p, kPrefixEndOffset + 1);
    if (job.at(p + kPrefixEndOffset) != kPrefixEnd) {
        while (i < job.size && job[i] != kPrefixEnd && job[i] != kTerminator) ++i;
        if (i < job.size && job[i] == kPrefixEnd) ++i;
    }
    copies = 0;
    for (; i < job.size && job[i] != kTerminator; ++i) {
        const uint32_t digit = static_cast<uint8_t>(job[i] ^ kDigitMask) - uint32_t{'0'};
        if (digit > 9) valid = false;
        else if (copies < kCopiesCap) copies = copies * 10 + digit;
    }
    if (i >= job.size) valid = false;
    return i;
}

}  // namespace

int32_t CountPrintronix(Bytes job, Result& out) {
    const int32_t code = PassMarked("PrintronixGL", job, out, QM_FIELD_COLOR | QM_FIELD_DUPLEX);
    if (code != QM_OK) return code;
    uint32_t copies = 1;
    bool valid = true;
    for (uint32_t i = job.find(0, kMarker[0]); i < job.size; i = job.find(i + 1, kMarker[0])) {
        if (!job.matches(i, kMarker, sizeof kMarker) || copies >= 2) continue;
        i = ReadCopies(job, i, copies, valid);
        if (i >= job.size) break;
    }
    if (!valid) {
        copies = 1;
        out.unknown |= QM_FIELD_COPIES;
    }
    out.rec.copies = copies != 0 ? copies : 1;
    return QM_OK;
}

}  // namespace qm::accurate
