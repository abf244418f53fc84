// Dymo LabelWriter raster, as CUPS's label filter (rastertolabel) writes it:
// a run of ESC bytes that ends any command left open, ESC @, then commands
// of ESC, a letter and a fixed number of parameter bytes. ESC D n sets the
// bytes of a row; SYN (0x16) is followed by one row of that many bytes;
// ESC f 1 n skips n blank rows; ESC E ejects the label.
#include <cstdint>

#include "accurate/accurate.h"
#include "label/labels.h"

namespace qm::accurate {
namespace {

constexpr uint8_t kEsc = 0x1B, kSyn = 0x16;

// Parameter bytes of each command letter; -1: not a command of the stream.
int Parameters(uint8_t letter) noexcept {
    switch (letter) {
        case '@': case 'E': case 'c': case 'd': case 'e': case 'g': case 'h': return 0;
        case 'D': case 'q': case 'B': return 1;
        case 'L': case 'f': return 2;
        default: return -1;
    }
}

struct Walk {
    uint32_t labels = 0;
    bool rows = false;       // rows sent since the last eject
    bool cut = false;        // the data ends inside a command or a row
    bool setUp = false;      // ESC @ and ESC D seen
};

// Walks from `at` (after the ESC run). false on a byte that is no command.
bool WalkDymo(Bytes b, uint32_t at, Walk& w, uint32_t limit) noexcept {
    uint32_t row = 0;  // bytes of a row, from ESC D
    bool reset = false;
    for (uint32_t seen = 0; at < b.size && seen < limit; ++seen) {
        if (b[at] == kSyn) {
            if (row == 0) return false;
            if (!b.has(at + 1, row)) {
                w.cut = true;
                return true;
            }
            at += 1 + row;
            w.rows = true;
            continue;
        }
        if (b[at] != kEsc) return false;
        if (!b.has(at, 2)) {
            w.cut = true;
            return true;
        }
        const uint8_t letter = b[at + 1];
        const int n = Parameters(letter);
        if (n < 0) return false;
        if (n > 0 && !b.has(at + 2, static_cast<uint32_t>(n))) {
            w.cut = true;
            return true;
        }
        if (letter == '@') reset = true;
        if (letter == 'D') {
            row = b[at + 2];
            w.setUp = reset && row > 0;
        }
        if (letter == 'E') {
            ++w.labels;
            w.rows = false;
        }
        at += 2 + static_cast<uint32_t>(n);
    }
    w.cut = w.cut || w.rows;
    return true;
}

// The ESC run the filter opens with: at least this many ESC bytes before
// ESC @ (the filter writes 100).
constexpr uint32_t kMinRun = 8;
uint32_t AfterRun(Bytes b) noexcept {
    uint32_t i = 0;
    while (i < b.size && b[i] == kEsc) ++i;
    // The last ESC of the run begins ESC @.
    return i >= kMinRun + 1 && b.at(i) == '@' ? i - 1 : 0;
}

constexpr uint32_t kBidCommands = 256;

}  // namespace

int BidDymo(const BidInput& in) noexcept {
    const Bytes body = Body(in);
    const uint32_t start = AfterRun(body);
    if (start == 0) return kNoBid;
    Walk w;
    if (!WalkDymo(body, start, w, kBidCommands)) return kNoBid;
    return w.setUp ? Parsed(Declares(in, "DYMO")) : kBidSignature;
}

int32_t AccurateDymo(Bytes job, Result& out) {
    const Bytes b = LabelBody(job);
    const uint32_t start = AfterRun(b);
    if (start == 0) return QM_E_NOT_UNDERSTOOD;
    Walk w;
    if (!WalkDymo(b, start, w, UINT32_MAX) || w.labels == 0) return QM_E_NOT_UNDERSTOOD;
    // The stream states no copies and no resolution, so no size.
    RecordLabels(out, w.labels, 1, w.labels);
    out.estimated = w.cut;
    return QM_OK;
}

}  // namespace qm::accurate
