// Zebra ZPL II, as CUPS's label filter (rastertolabel) and other drivers
// write it: commands of a caret or tilde and two characters, their
// parameters up to the next command. A label is a format, ^XA ... ^XZ, that
// places something (field data, a graphic recalled with ^XG, a box), printed
// ^PQ times; a format that only deletes or configures prints nothing. The
// driver downloads each page's image first (~DG name,total,bytes per row,
// then the rows as hex digits with ZPL's run-length letters) and recalls it
// in the format that prints the label.
#include <algorithm>
#include <cstdint>
#include <iterator>

#include "accurate/accurate.h"
#include "label/labels.h"

namespace qm::accurate {
namespace {

constexpr uint32_t kMaxQuantity = 99999999;  // ^PQ's largest quantity

bool IsPrefix(uint8_t c) noexcept { return c == '^' || c == '~'; }
bool IsNameChar(uint8_t c) noexcept { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '@'; }
// What downloaded hex data holds: hex digits (either case), the repeat
// letters G-Y and g-z, ',' (rest of the row zero), ':' (the row
// before again), '!' (rest of the row ones) and line ends.
bool IsDataChar(uint8_t c) noexcept {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ',' || c == ':' ||
           c == '!' || c == '\r' || c == '\n' || c == ' ' || c == '\t';
}

struct Command {
    uint32_t at = 0;    // the prefix
    uint32_t end = 0;   // the next command's prefix, or the end of the data
    char name[2] = {};  // upper case
    bool Is(const char* n) const noexcept { return name[0] == n[0] && name[1] == n[1]; }
};

enum class Read { Ok, End, Bad };

// The command at `at`: a prefix and two name characters, its parameters
// running to the next prefix.
Read ReadCommand(Bytes b, uint32_t at, Command& c) noexcept {
    while (at < b.size && (b[at] == '\r' || b[at] == '\n' || b[at] == ' ' || b[at] == '\t')) ++at;
    if (at >= b.size) return Read::End;
    if (!IsPrefix(b[at]) || !b.has(at, 3) || !IsNameChar(b[at + 1]) || !IsNameChar(b[at + 2])) return Read::Bad;
    c.at = at;
    for (int k = 0; k < 2; ++k) {
        const uint8_t ch = b[at + 1 + k];
        c.name[k] = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
    }
    uint32_t i = at + 3;
    while (i < b.size && !IsPrefix(b[i])) ++i;
    c.end = i;
    return Read::Ok;
}

// The first decimal number of a command's parameters; `otherwise` when none.
uint32_t Number(Bytes b, const Command& c, uint32_t otherwise) noexcept {
    uint32_t i = c.at + 3;
    while (i < c.end && b[i] == ' ') ++i;
    if (i >= c.end || b[i] < '0' || b[i] > '9') return otherwise;
    uint64_t v = 0;
    for (; i < c.end && b[i] >= '0' && b[i] <= '9'; ++i) v = std::min<uint64_t>(v * 10 + (b[i] - '0'), kMaxQuantity);
    return static_cast<uint32_t>(v);
}

// A download's parameters: name, total bytes, bytes per row; then its data,
// which holds nothing but hex digits and ZPL's compression characters.
bool ValidDownload(Bytes b, const Command& c) noexcept {
    uint32_t commas = 0, i = c.at + 3;
    for (; i < c.end && commas < 3; ++i) commas += b[i] == ',';
    if (commas < 3) return false;
    for (; i < c.end; ++i) {
        if (!IsDataChar(b[i])) return false;
    }
    return true;
}

// Commands that put something on the label: a recalled graphic, field
// data, a graphic field, boxes, circles, lines, ellipses and symbols. A
// format of settings and deletions (^ID ... ^FS) prints no label.
bool Places(const Command& c) noexcept {
    constexpr const char* kPlacing[] = {"XG", "FD", "FV", "GF", "GB", "GC", "GD", "GE", "GS"};
    return std::any_of(std::begin(kPlacing), std::end(kPlacing), [&c](const char* n) { return c.Is(n); });
}

struct Walk {
    uint32_t labels = 0;                // formats that place something
    uint32_t quantity = 0;              // their common ^PQ, 0 when they differ
    uint64_t printed = 0;               // labels times quantities
    bool open = false, places = false;  // inside ^XA ... ^XZ; it places something
    uint32_t formatQuantity = 1;
    bool cut = false;                   // the data ends inside a format
};

// Walks the commands from `at`. false when something that is not ZPL stands
// between them, or a command that changes the prefix characters (the walk
// could no longer find commands).
bool WalkCommands(Bytes b, uint32_t at, Walk& w, uint32_t limit) noexcept {
    uint32_t seen = 0;
    for (Command c; seen < limit; ++seen) {
        const Read r = ReadCommand(b, at, c);
        if (r == Read::End) break;
        if (r == Read::Bad) return false;
        if (c.Is("CC") || c.Is("CT") || c.Is("CD")) return false;
        // A download the data cuts short is checked as far as it goes.
        if (c.Is("DG") && c.end < b.size && !ValidDownload(b, c)) return false;
        if (c.Is("XA")) {
            w.open = true;
            w.places = false;
            w.formatQuantity = 1;
        } else if (c.Is("XZ") && w.open) {
            if (w.places) {
                w.quantity = w.labels == 0 || w.quantity == w.formatQuantity ? w.formatQuantity : 0;
                ++w.labels;
                w.printed += w.formatQuantity;
            }
            w.open = false;
        } else if (w.open && Places(c)) {
            w.places = true;
        } else if (w.open && c.Is("PQ")) {
            w.formatQuantity = std::max<uint32_t>(Number(b, c, 1), 1);
        }
        at = c.end;
    }
    w.cut = w.open;
    return true;
}

// Where ZPL starts: a download or a format.
bool StartsZpl(Bytes body) noexcept {
    uint32_t i = 0;
    while (i < body.size && (body[i] == '\r' || body[i] == '\n' || body[i] == ' ')) ++i;
    return body.matchesNoCase(i, "~DG") || body.matchesNoCase(i, "^XA");
}

// Commands the bid walks: enough to see the first format or download whole.
constexpr uint32_t kBidCommands = 64;

}  // namespace

int BidZPL(const BidInput& in) noexcept {
    const Bytes body = Body(in);
    if (!StartsZpl(body)) return kNoBid;
    Walk w;
    if (!WalkCommands(body, 0, w, kBidCommands)) return kNoBid;
    // A job cut inside its first command shows only the signature.
    Command first;
    if (ReadCommand(body, 0, first) != Read::Ok || first.end >= body.size) return kBidSignature;
    return Parsed(Declares(in, "ZPL"));
}

int32_t AccurateZPL(Bytes job, Result& out) {
    const Bytes b = LabelBody(job);
    if (!StartsZpl(b)) return QM_E_NOT_UNDERSTOOD;
    Walk w;
    if (!WalkCommands(b, 0, w, UINT32_MAX)) return QM_E_NOT_UNDERSTOOD;
    if (w.labels == 0) return QM_E_NOT_UNDERSTOOD;
    // ZPL states no resolution, so no size in inches.
    RecordLabels(out, w.labels, w.quantity, w.printed);
    out.estimated = w.cut;
    return QM_OK;
}

}  // namespace qm::accurate
