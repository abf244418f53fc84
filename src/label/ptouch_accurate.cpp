// Brother P-touch (PT) and QL label printers' raster, as CUPS's rastertoptch
// writes it: NULs that clear the printer's buffer, ESC @, ESC i commands of
// a fixed number of parameter bytes (transfer mode, cut and feed modes,
// margin, and on QL models ESC i z: media kind, tape width, label length in
// mm), M n (compression), then the rows: G and two bytes of length, low
// first (PT), g and two bytes of length, high first (QL), each followed by
// that many bytes; Z, an empty row. FF prints the label and goes on (on a
// cutting model the label is cut), SUB prints the last one and ends the job.
// The filter does not use copies: CUPS sends a label per copy.
#include <cstdint>

#include "accurate/accurate.h"
#include "label/labels.h"

namespace qm::accurate {
namespace {

constexpr uint8_t kEsc = 0x1B, kFormFeed = 0x0C, kEject = 0x1A;
constexpr uint8_t kDieCut = 0x0B;  // ESC i z's media kind: pre-cut labels
constexpr double kMmPerInch = 25.4;

// Parameter bytes of ESC i <letter>; -1: not a command of the stream.
int Parameters(uint8_t letter) noexcept {
    switch (letter) {
        case 'S': return 0;
        case 'R': case 'a': case '!': case 'D': case 'M': case 'K': case 'A': return 1;
        case 'd': return 2;
        case 'c': return 5;
        case 'z': return 10;
        default: return -1;
    }
}

enum class Step { Ok, Cut, Invalid };

struct Walk {
    uint32_t labels = 0;
    bool setUp = false;    // ESC @ and a mode command of the stream (ESC i)
    bool rows = false;     // rows since the last label
    bool ended = false;    // SUB seen
    bool cut = false;      // the data ends inside a command or a row
    Page label{QM_PAGE_MONO, QM_SIDE_NONE, 0, 0};
    Result* out = nullptr;

    void Print() {
        ++labels;
        rows = false;
        if (out == nullptr) return;
        out->pages.Add(label);
        if (labels == 1) out->rec.paperWidth = label.paperWidth, out->rec.paperLength = label.paperLength;
    }
};

// Reads the command or row at `at` and moves past it.
Step Read(Bytes b, uint32_t& at, Walk& w, bool& reset) noexcept {
    const uint8_t c = b[at];
    switch (c) {
        case 0: ++at; return Step::Ok;  // the printer passes over NULs between commands
        case 'Z': w.rows = true; ++at; return Step::Ok;
        case 'G': case 'g': {
            if (!b.has(at + 1, 2)) return Step::Cut;
            const uint32_t n = c == 'G' ? b.le16(at + 1) : b.be16(at + 1);
            if (!b.has(at + 3, n)) return Step::Cut;
            at += 3 + n;
            w.rows = true;
            return Step::Ok;
        }
        case 'M':
            if (!b.has(at + 1)) return Step::Cut;
            at += 2;
            return Step::Ok;
        case kFormFeed: case kEject:
            w.Print();
            w.ended = w.ended || c == kEject;
            ++at;
            return Step::Ok;
        case kEsc: break;
        default: return Step::Invalid;
    }
    if (!b.has(at + 1)) return Step::Cut;
    if (b[at + 1] == '@') {
        reset = true;
        at += 2;
        return Step::Ok;
    }
    // ESC * ' (bit images) sends rows with no length of their own: not followed.
    if (b[at + 1] != 'i' || !b.has(at + 2)) return b[at + 1] == 'i' ? Step::Cut : Step::Invalid;
    const int n = Parameters(b[at + 2]);
    if (n < 0) return Step::Invalid;
    if (n > 0 && !b.has(at + 3, uint32_t(n))) return Step::Cut;
    if (b[at + 2] == 'z' && (b[at + 3] & 0x04) != 0) {
        // Media and size: the tape's width, and a die-cut label's length.
        const bool dieCut = b[at + 4] == kDieCut;
        w.label.paperWidth = b[at + 5] / kMmPerInch;
        w.label.paperLength = dieCut ? b[at + 6] / kMmPerInch : 0;
        if (!dieCut) w.label.paperWidth = 0;  // a roll's label is as long as its rows: no paper stated
    }
    w.setUp = w.setUp || reset;
    at += 3 + uint32_t(n);
    return Step::Ok;
}

// Walks from the body's ESC @ for at most `limit` commands. false on a
// byte that is no command of the stream.
bool WalkPTouch(Bytes b, Walk& w, uint32_t limit) noexcept {
    if (!b.matches(0, "\x1B@")) return false;
    bool reset = false;
    uint32_t at = 0;
    for (uint32_t seen = 0; at < b.size && seen < limit; ++seen) {
        const Step s = Read(b, at, w, reset);
        if (s == Step::Invalid) return false;
        if (s == Step::Cut) {
            w.cut = true;
            return true;
        }
    }
    w.cut = w.cut || w.rows || !w.ended;
    return true;
}

constexpr uint32_t kBidCommands = 512;

}  // namespace

int BidPTouch(const BidInput& in) noexcept {
    Walk w;
    if (!WalkPTouch(Body(in), w, kBidCommands) || !w.setUp) return kNoBid;
    return Parsed(Declares(in, "PTOUCH") || Declares(in, "P-TOUCH"));
}

int32_t AccuratePTouch(Bytes job, Result& out) {
    const Bytes b = LabelBody(job);
    Walk w;
    w.out = &out;
    if (!WalkPTouch(b, w, UINT32_MAX) || !w.setUp || w.labels == 0) return QM_E_NOT_UNDERSTOOD;
    out.rec.pages = w.labels;
    out.rec.copies = 1;
    out.estimated = w.cut;
    return QM_OK;
}

}  // namespace qm::accurate
