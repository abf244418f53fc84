#include "pcl/pjl.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>

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
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
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
                i = std::min(lf, job.size - 1);
                return true;
            }
        }
    }
    return false;
}

namespace {

constexpr std::string_view kUel = "\x1b%-12345X";
constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr uint8_t kEscape = 0x1B;

bool IsBlank(int b) noexcept { return b == ' ' || b == '\t'; }
char Upper(uint8_t b) noexcept { return static_cast<char>(b >= 'a' && b <= 'z' ? b - 32 : b); }

// One PJL line from after "@PJL" to its end (CR and LF excluded), read word
// by word.
struct PjlLine {
    Bytes line;
    uint32_t k = 0;

    void Blanks() noexcept {
        while (k < line.size && IsBlank(line[k])) ++k;
    }
    // A word: up to a blank, "=" or ":".
    Bytes Word() noexcept {
        Blanks();
        const uint32_t from = k;
        while (k < line.size && !IsBlank(line[k]) && line[k] != '=' && line[k] != ':') ++k;
        return Bytes(line.data + from, k - from);
    }
    bool Takes(uint8_t c) noexcept {
        Blanks();
        if (k >= line.size || line[k] != c) return false;
        ++k;
        return true;
    }
    // The rest of the line: blanks around it and quotes dropped, upper case,
    // cut to the buffer (31 bytes and a zero).
    void Value(char (&out)[kPjlValueBuffer]) noexcept {
        Blanks();
        uint32_t end = line.size;
        while (end > k && IsBlank(line[end - 1])) --end;
        size_t n = 0;
        for (uint32_t j = k; j < end && n + 1 < sizeof out; ++j) {
            if (line[j] != '"') out[n++] = Upper(line[j]);
        }
        out[n] = '\0';
    }
};

bool Is(Bytes word, std::string_view name) noexcept {
    return word.size == name.size() && word.matchesNoCase(0, name);
}

bool Equals(const char (&value)[kPjlValueBuffer], std::string_view name) noexcept {
    return std::string_view(value) == name;
}

uint32_t Count(const char (&value)[kPjlValueBuffer]) noexcept {
    uint64_t n = 0;
    for (const char* c = value; *c >= '0' && *c <= '9'; ++c) {
        n = n * 10 + static_cast<uint32_t>(*c - '0');
        if (n > UINT32_MAX) return UINT32_MAX;
    }
    return static_cast<uint32_t>(n);
}

void ApplySetting(Bytes key, const char (&value)[kPjlValueBuffer], PjlSettings& pjl) noexcept {
    if (Is(key, "COPIES")) {
        pjl.copies = Count(value);
    } else if (Is(key, "QTY")) {
        pjl.quantity = Count(value);
    } else if (Is(key, "DUPLEX")) {
        if (Equals(value, "ON") || Equals(value, "MANUAL")) pjl.duplex = PjlDuplex::On;
        if (Equals(value, "OFF")) pjl.duplex = PjlDuplex::Off;
    } else if (Is(key, "RENDERMODE")) {
        if (Equals(value, "COLOR") || Equals(value, "COLOUR")) pjl.renderMode = 1;
        if (Equals(value, "GRAYSCALE") || Equals(value, "GREYSCALE")) pjl.renderMode = 0;
    } else if (Is(key, "COLORMODE")) {
        if (Equals(value, "COLOR") || Equals(value, "COLOUR")) pjl.colourMode = 1;
        if (Equals(value, "MONO") || Equals(value, "BLACK") || Equals(value, "GRAYSCALE") || Equals(value, "GREYSCALE"))
            pjl.colourMode = 0;
    } else if (Is(key, "PAPER")) {
        const PaperName* p = FindPaperName(value);
        pjl.paperWidth = p != nullptr ? p->width : 0.0;
        pjl.paperLength = p != nullptr ? p->length : 0.0;
    }
}

// Reads one line; true when it ends the lines (ENTER).
bool ReadLine(Bytes line, PjlSettings& pjl) noexcept {
    PjlLine l{line};
    const Bytes command = l.Word();
    if (Is(command, "ENTER")) {
        pjl.entered = true;
        pjl.language[0] = '\0';
        if (Is(l.Word(), "LANGUAGE") && l.Takes('=')) {
            l.Blanks();
            size_t n = 0;
            for (uint32_t j = l.k; j < line.size && line[j] > ' ' && line[j] < 0x7F && n + 1 < sizeof pjl.language; ++j)
                pjl.language[n++] = Upper(line[j]);
            pjl.language[n] = '\0';
        }
        return true;
    }
    if (!Is(command, "SET") && !Is(command, "DEFAULT")) return false;
    Bytes key = l.Word();
    if (Is(key, "LPARM") || Is(key, "IPARM")) {
        // A personality's own setting: only PCL's are taken.
        if (!l.Takes(':') || !Is(l.Word(), "PCL")) return false;
        key = l.Word();
    }
    if (!l.Takes('=')) return false;
    char value[kPjlValueBuffer] = {};
    l.Value(value);
    ApplySetting(key, value, pjl);
    return false;
}

}  // namespace

uint32_t ReadPjlLines(Bytes job, uint32_t i, PjlSettings& pjl) noexcept {
    for (;;) {
        uint32_t k = i;
        while (k < job.size && (IsBlank(job[k]) || job[k] == '\r' || job[k] == '\n')) ++k;
        if (!job.matchesNoCase(k, "@PJL")) return i;
        const int after = job.at(k + 4);
        if (!(after < 0 || IsBlank(after) || after == '\r' || after == '\n')) return i;
        const uint32_t limit = job.left(k) > kPjlLongestLine ? k + kPjlLongestLine : job.size;
        // A line ends at its line feed, or right before an ESC: foo2zjs ends
        // its last line with a NUL and the UEL.
        uint32_t eol = k;
        while (eol < limit && job[eol] != '\n' && job[eol] != kEscape) ++eol;
        if (eol == limit && limit != job.size) return i;  // no line end where one must be
        uint32_t end = eol;
        while (end > k + 4 && (job[end - 1] == '\r' || job[end - 1] == 0)) --end;
        const bool entered = ReadLine(Bytes(job.data + k + 4, end - (k + 4)), pjl);
        i = eol < job.size && job[eol] == '\n' ? eol + 1 : eol;
        if (entered || i >= job.size) return i;
    }
}

uint32_t SkipWrapperBytes(Bytes job, uint32_t i, bool& uel) noexcept {
    for (;;) {
        const int b = job.at(i);
        if (b == 0x00 || b == 0x04 || b == '\r' || b == '\n') {
            ++i;
        } else if (job.matches(i, kBom)) {
            i += static_cast<uint32_t>(kBom.size());
        } else if (job.matches(i, kUel)) {
            i += static_cast<uint32_t>(kUel.size());
            uel = true;
        } else if (b == 0x1B && job.at(i + 1) == 'E' && job.matches(i + 2, kUel)) {
            i += 2;  // some inkjet drivers reset the printer before the UEL
        } else {
            return i;
        }
    }
}

uint32_t ReadPjlHeader(Bytes job, uint32_t from, PjlSettings& pjl) noexcept {
    uint32_t i = from;
    for (;;) {
        bool uel = false;
        i = SkipWrapperBytes(job, i, uel);
        const uint32_t next = ReadPjlLines(job, i, pjl);
        if (next == i) return i;
        i = next;
        if (pjl.entered) return i;
    }
}

}  // namespace qm
