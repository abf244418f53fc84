#include "pcl/pjl.h"

#include <climits>
#include <cstring>

#include "jobfile/diag.h"

namespace qm {

const PaperName kPaperNames[19] = {
    {"EXECUTIVE", 7.25, 10.5},  {"LETTER", 8.5, 11.0},     {"LEGAL", 8.5, 14.0},    {"LEDGER", 17.0, 11.0},
    {"A5", 5.83, 8.27},         {"A4", 8.27, 11.69},       {"A3", 11.69, 16.54},    {"ISO_A5", 5.83, 8.27},
    {"ISO_A4", 8.27, 11.69},    {"ISO_A3", 11.69, 16.54},  {"JISB5", 7.17, 10.12},  {"JISB4", 9.84, 13.94},
    {"MONARCH", 3.875, 7.5},    {"COM10", 4.125, 9.5},     {"DL", 4.33, 8.66},      {"C5", 6.38, 9.02},
    {"A6", 4.13, 5.83},         {"HALFLETTER", 8.5, 5.5},  {"JPOST", 3.94, 5.83},
};

namespace {

// Names are compared over this many bytes of the zero-padded value.
constexpr size_t kPaperCompare = 11;

struct Captured {
    char value[kPjlValueBuffer] = {};
    uint32_t end = 0;         // the terminator, or the first byte not copied
    bool terminated = false;  // a terminator came within the buffer
};

// Copies the bytes from `from` up to the first LF (or CR, when `stopAtCr`)
// into a cleared buffer. A value that fills the buffer or runs into the end
// of the data is not terminated.
Captured Capture(Bytes job, uint32_t from, bool stopAtCr) noexcept {
    Captured c;
    uint32_t i = from;
    uint32_t n = 0;
    while (i < job.size) {
        const uint8_t b = job[i];
        if (b == '\n' || (stopAtCr && b == '\r')) {
            c.terminated = true;
            break;
        }
        if (n == kPjlValueBuffer - 1) break;  // a 32nd value byte: over-long
        c.value[n++] = static_cast<char>(b);
        ++i;
    }
    c.end = i;
    return c;
}

bool IsCSpace(uint8_t b) noexcept { return b == ' ' || (b >= '\t' && b <= '\r'); }

}  // namespace

void PjlAttributes::set(PjlFlag f) noexcept {
    switch (f) {
        case PjlFlag::Duplex: duplex = true; break;
        case PjlFlag::Colour: colour = true; break;
        case PjlFlag::Grey: grey = true; break;
        case PjlFlag::ColourModeColour: colourModeColour = true; break;
        case PjlFlag::Monochrome: monochrome = true; break;
        case PjlFlag::None: break;
    }
}

int32_t PjlNumber(Bytes job, uint32_t i) noexcept {
    while (i < job.size && IsCSpace(job[i])) ++i;
    bool negative = false;
    if (i < job.size && (job[i] == '+' || job[i] == '-')) {
        negative = job[i] == '-';
        ++i;
    }
    int64_t v = 0;
    for (; i < job.size && job[i] >= '0' && job[i] <= '9'; ++i) {
        if (v <= int64_t{INT32_MAX} + 1) v = v * 10 + (job[i] - '0');
    }
    if (negative) v = -v;
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

const PaperName* FindPaperName(const char (&value)[kPjlValueBuffer]) noexcept {
    for (const PaperName& p : kPaperNames) {
        if (std::memcmp(value, p.name, kPaperCompare) == 0) return &p;
    }
    return nullptr;
}

bool MatchPjl(Bytes job, uint32_t& i, std::span<const PjlKey> keys, PjlAttributes& attrs) noexcept {
    const uint32_t at = i;
    const uint32_t remaining = job.left(at);
    for (const PjlKey& key : keys) {
        if (remaining <= key.threshold || !job.matches(at, key.text)) continue;
        const uint32_t afterKey = at + static_cast<uint32_t>(key.text.size());
        switch (key.action) {
            case PjlAction::Quantity:
            case PjlAction::Copies: {
                const Captured c = Capture(job, afterKey, false);
                if (!c.terminated) return true;  // matched, nothing taken; i stays on the "@"
                const int32_t n = PjlNumber(Bytes(reinterpret_cast<const uint8_t*>(c.value),
                                                  static_cast<uint32_t>(std::strlen(c.value))),
                                            0);
                if (key.action == PjlAction::Quantity) {
                    attrs.quantity = n;
                    Debug(kQtyLine, at, n);
                } else {
                    attrs.copies = n;
                    Debug(kCopiesLine, at, n);
                }
                i = c.end;  // the LF; scanning goes on after it
                return true;
            }
            case PjlAction::SetFlag:
                attrs.set(key.flag);
                i = afterKey - 1;
                return true;
            case PjlAction::Paper: {
                const Captured c = Capture(job, afterKey, true);
                if (!c.terminated) return true;
                if (const PaperName* p = FindPaperName(c.value)) {
                    attrs.paperWidth = p->width;
                    attrs.paperLength = p->length;
                }
                i = c.end - 1;  // the terminator is scanned next
                return true;
            }
            case PjlAction::ValueTest: {
                uint32_t v = afterKey;
                while (v < job.size && (job[v] == ' ' || job[v] == '=')) ++v;
                const Captured c = Capture(job, v, false);
                for (const PjlValueRule& r : key.rules) {
                    if (r.prefix.empty() || std::memcmp(c.value, r.prefix.data(), r.prefix.size()) != 0) continue;
                    attrs.set(r.flag);
                    if (r.line != nullptr) Debug(r.line, v);
                    i = c.end - 1;  // after the value
                    return true;
                }
                i = v - 1;  // right after the blanks and "="
                return true;
            }
            case PjlAction::PaperWidth:
            case PjlAction::PaperLength: {
                const int32_t n = PjlNumber(job, afterKey + 3);
                const double inches = (static_cast<double>(n) - key.decipointBias) / 720.0;
                if (key.action == PjlAction::PaperWidth) {
                    attrs.paperWidth = inches;
                } else {
                    attrs.paperLength = inches;
                }
                i = afterKey - 1;  // the digits are scanned as ordinary bytes
                return true;
            }
            case PjlAction::SkipLine: {
                const uint32_t lf = job.find(afterKey, '\n');
                i = lf < job.size ? lf : job.size - 1;
                return true;
            }
        }
    }
    return false;
}

}  // namespace qm
