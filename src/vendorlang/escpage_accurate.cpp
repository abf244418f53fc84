// ESC/Page command streams read command by command. A command is GS, its
// numeric parameters ("0;150;150"), a lower-case name and an upper-case
// final letter; a "{" before the final letter means the first parameter
// counts data bytes that follow, which are stepped over unread.
//
// A page ends with a form feed, with the side command of duplex printing
// ("GS 0dpsE"), or with a reset ("GS rhE") once the page holds marks: the
// lp8000 driver ends its pages with its copies command and a reset. Drivers
// that close a duplex job of an odd page count send one more side command
// after the last page; that blank side is not a page.
#include "vendorlang/vendor_accurate.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

namespace qm::accurate {
namespace {

constexpr uint8_t kGs = 0x1D;
constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kFormFeed = 0x0C;
constexpr uint32_t kMaxParams = 8;
constexpr uint32_t kParamText = 96;  // the longest parameter text of any command
constexpr uint32_t kNameText = 8;
constexpr uint32_t kEjlLine = 4096;
constexpr int64_t kParamCap = 1000000000000;

bool IsParamByte(uint8_t b) { return (b >= '0' && b <= '9') || b == ';' || b == '.' || b == '-'; }

// The parameters of a command, read when a command needs them: most
// commands (positions, glyphs) never do.
struct Params {
    int64_t values[kMaxParams] = {};
    uint32_t count = 0;

    Params(const Bytes& job, uint32_t from, uint32_t to) {
        int64_t value = 0;
        bool negative = false, fraction = false;
        auto push = [&] {
            if (count < kMaxParams) values[count++] = negative ? -value : value;
            value = 0;
            negative = fraction = false;
        };
        for (uint32_t k = from; k < to; ++k) {
            const uint8_t b = job[k];
            if (b >= '0' && b <= '9') {
                if (!fraction && value < kParamCap) value = value * 10 + (b - '0');
            } else if (b == '.') {
                fraction = true;  // whole units are all a count needs
            } else if (b == '-') {
                negative = true;
            } else {
                push();  // ";"
            }
        }
        if (to > from) push();
    }
    int64_t operator[](uint32_t k) const { return k < count ? values[k] : 0; }
};

struct Command {
    uint32_t params = 0, paramsEnd = 0;  // the parameter text
    char name[kNameText + 1] = {};       // lower-case name and final letter, "{" included
    uint32_t size = 0;                   // of the name
    char final = 0;
    uint32_t next = 0;                   // the index after the command and its data
    uint32_t dataAt = 0;                 // where its data starts
    bool data = false;

    bool is(std::string_view n) const { return std::string_view(name, size) == n; }
    Params read(const Bytes& job) const { return Params(job, params, paramsEnd); }
};

// Parses the command whose GS is at i; false when the bytes there are none.
bool ParseCommand(const Bytes& job, uint32_t i, Command& c) {
    uint32_t k = i + 1;
    const uint32_t limit = job.left(k) > kParamText ? k + kParamText : job.size;
    c.params = k;
    while (k < limit && IsParamByte(job[k])) ++k;
    c.paramsEnd = k;
    uint32_t n = 0;
    for (; k < job.size && job[k] >= 'a' && job[k] <= 'z'; ++k) {
        if (n == kNameText - 2) return false;  // no command has so long a name
        c.name[n++] = static_cast<char>(job[k]);
    }
    if (k >= job.size) return false;
    uint8_t final = job[k];
    if (final == '{') {
        c.name[n++] = '{';
        if (!job.has(k + 1)) return false;
        final = job[++k];
        c.data = true;
    }
    if (final < 'A' || final > 'Z') return false;
    c.name[n++] = static_cast<char>(final);
    c.name[n] = '\0';
    c.size = n;
    c.final = static_cast<char>(final);
    const int64_t length = c.data ? c.read(job)[0] : 0;
    c.dataAt = k + 1;
    c.next = SkipBy(job, k + 1, length > 0 ? static_cast<uint64_t>(length) : 0);
    return true;
}

struct EscPaper {
    int64_t number;
    double width, length;
};
constexpr EscPaper kPapers[] = {
    {13, 11.69, 16.54}, {14, 8.27, 11.69}, {15, 5.83, 8.27},  {16, 4.13, 5.83},  {24, 10.12, 14.33},
    {25, 7.17, 10.12},  {30, 8.5, 11.0},   {31, 5.5, 8.5},    {32, 8.5, 14.0},   {33, 7.25, 10.5},
    {34, 8.5, 13.0},    {35, 8.0, 10.5},   {36, 11.0, 17.0},  {37, 8.24, 12.99}, {38, 3.94, 5.83},
    {80, 3.875, 7.5},   {81, 4.125, 9.5},  {90, 4.33, 8.66},  {91, 6.38, 9.02},
};

struct EjlPaper {
    std::string_view name;
    double width, length;
};
constexpr EjlPaper kEjlPapers[] = {{"A4", 8.27, 11.69}, {"LT", 8.5, 11.0}, {"LGL", 8.5, 14.0}};

struct State {
    uint32_t ends = 0;         // page ends seen
    bool marks = false;        // the current page holds marks
    bool lastEndBlankSide = false;  // the last end was a side command on a side with no marks
    uint32_t copies = 0, ejlCopies = 0, ejlQuantity = 0;
    bool duplex = false, colour = false;
    bool fillColour = false;   // the fill colour in force is not neutral
    bool pageColour = false;   // the current page holds marks made in it
    bool pageUnknown = false;  // ... or an image whose pixels are not read
    bool colourImage = false;  // inside a colour raster image (scrI ... ecrI)
    int64_t imageWidth = 0;    // its width in pixels
    PageLog log;               // the pages ended so far
    bool paperSet = false;
    double width = 0.0, length = 0.0;
    double ejlWidth = 0.0, ejlLength = 0.0;
    int64_t dpiX = 0, dpiY = 0;

    void Mark() {
        marks = true;
        if (fillColour) pageColour = colour = true;
    }
    void End(bool sideCommand) {
        lastEndBlankSide = sideCommand && !marks;
        ++ends;
        const uint8_t c = pageColour ? QM_PAGE_COLOR : pageUnknown ? QM_PAGE_COLOR_UNKNOWN : QM_PAGE_MONO;
        log.Add(Page{c});
        marks = pageColour = pageUnknown = false;
    }
};

uint32_t Saturate(int64_t v) { return static_cast<uint32_t>(std::clamp<int64_t>(v, 0, UINT32_MAX)); }

void ApplyPaper(const Params& c, State& s) {
    if (s.paperSet) return;  // the sheet of the first page
    s.paperSet = true;
    for (const EscPaper& p : kPapers) {
        if (p.number == c[0]) {
            s.width = p.width;
            s.length = p.length;
            return;
        }
    }
    // A size of no number: its width and length in dots.
    if (c[0] < 0 && s.dpiX > 0 && s.dpiY > 0 && c.count >= 3) {
        s.width = static_cast<double>(c[1]) / static_cast<double>(s.dpiX);
        s.length = static_cast<double>(c[2]) / static_cast<double>(s.dpiY);
    }
}

// Whether every pixel (three bytes) from p to end has equal red, green and
// blue. Three pixels at a time: a byte and the next are compared at the six
// places within them that fall inside a pixel (the mask reads the same in
// either byte order).
bool NeutralPixels(const uint8_t* p, const uint8_t* end) {
    constexpr uint64_t kInsidePixels = 0xFFFF00FFFF00FFFFull;
    for (; end - p >= 9; p += 9) {
        uint64_t a, b;
        std::memcpy(&a, p, sizeof a);
        std::memcpy(&b, p + 1, sizeof b);
        if ((a ^ b) & kInsidePixels) return false;
    }
    for (; end - p >= 3; p += 3)
        if (p[0] != p[1] || p[1] != p[2]) return false;
    return true;
}

// The pixels of a colour raster image's data block: "n;rows cu{I" and n
// bytes. Data of three bytes a pixel (red, green, blue) is colour when a
// pixel's components differ; data of any other size is coded in a way not
// read here, and leaves the page's colour open.
void ImageData(const Bytes& job, const Command& c, State& s) {
    s.marks = true;
    if (s.pageColour) return;
    const Params p = c.read(job);
    const int64_t size = p[0];
    if (size <= 0 || s.imageWidth <= 0 || p[1] <= 0 || size != s.imageWidth * p[1] * 3) {
        s.pageUnknown = true;
        return;
    }
    const uint32_t end = job.left(c.dataAt) >= size ? c.dataAt + static_cast<uint32_t>(size) : job.size;
    if (!NeutralPixels(job.data + c.dataAt, job.data + end)) s.pageColour = s.colour = true;
}

void Apply(const Bytes& job, const Command& c, State& s) {
    if (c.data) {
        if (s.colourImage) {
            ImageData(job, c, s);
        } else {
            s.Mark();
        }
        return;
    }
    switch (c.final) {
        case 'E':
            if (c.is("dpsE")) {
                s.End(true);
            } else if (c.is("rhE")) {
                if (s.marks) s.End(false);
            } else if (c.is("sdE")) {
                s.duplex = c.read(job)[0] != 0;
            } else if (c.is("drE")) {
                const Params p = c.read(job);
                s.dpiX = p[1];
                s.dpiY = p[2];
            } else if (c.is("psE")) {
                ApplyPaper(c.read(job), s);
            } else if (c.is("fpE")) {
                // A fill colour ("n;2;3;r;g;b"): colour when red, green and
                // blue differ; what is drawn in it from here on is colour.
                const Params p = c.read(job);
                s.fillColour = p.count >= 6 && (p[3] != p[4] || p[4] != p[5]);
            }
            break;
        case 'O':
            if (c.is("coO")) s.copies = Saturate(c.read(job)[0]);
            break;
        case 'I':
            // A colour raster image: "mode;...;x;y;width;height;..." scrI,
            // its data blocks, then ecrI.
            if (c.is("scrI")) {
                s.colourImage = true;
                s.imageWidth = c.read(job)[4];
            } else if (c.is("ecrI")) {
                s.colourImage = false;
            }
            break;
        case 'G':
            // Path drawing ("lnpG", "drpG", ...) marks the page; beginning a path does not.
            if (c.size >= 3 && c.name[c.size - 2] == 'p' && !c.is("bgpG")) s.Mark();
            break;
        default:
            break;
    }
}

// "@EJL" lines from i; returns the index after the last one.
uint32_t ReadEjl(const Bytes& job, uint32_t i, State& s) {
    while (job.matches(i, "@EJL")) {
        const uint32_t limit = job.left(i) > kEjlLine ? i + kEjlLine : job.size;
        uint32_t end = i;
        while (end < limit && job[end] != '\n') ++end;
        const bool set = job.matches(i, "@EJL SET ");
        for (uint32_t k = i; set && k < end; ++k) {
            if (job[k] != ' ') continue;
            const uint32_t key = k + 1;
            uint32_t eq = key;
            while (eq < end && job[eq] != '=' && job[eq] != ' ') ++eq;
            if (eq >= end || job[eq] != '=') continue;
            uint32_t v = eq + 1, ve = v;
            while (ve < end && job[ve] != ' ' && job[ve] != '\r') ++ve;
            const std::string_view name(reinterpret_cast<const char*>(job.data + key), eq - key);
            const std::string_view value(reinterpret_cast<const char*>(job.data + v), ve - v);
            uint32_t number = 0;
            for (char ch : value) number = ch >= '0' && ch <= '9' && number < 100000 ? number * 10 + (ch - '0') : number;
            if (name == "CO") s.ejlCopies = number;
            if (name == "QT") s.ejlQuantity = number;
            if (name == "DX") s.duplex = s.duplex || value == "ON";
            if (name == "PS") {
                for (const EjlPaper& p : kEjlPapers) {
                    if (p.name == value) {
                        s.ejlWidth = p.width;
                        s.ejlLength = p.length;
                    }
                }
            }
            k = ve - 1;
        }
        i = end < job.size ? end + 1 : end;
        if (job.matches(i, "\x1b\x01")) i += 2;
    }
    return i;
}

}  // namespace

int32_t CountEscPage(Bytes job, Result& out) {
    State s;
    bool commands = false;
    uint32_t i = 0;
    while (i < job.size) {
        const uint8_t b = job[i];
        if (b == kGs) {
            Command c;
            if (ParseCommand(job, i, c)) {
                commands = true;
                Apply(job, c, s);
                i = c.next;
                continue;
            }
        } else if (b == kFormFeed) {
            s.End(false);
        } else if (b == kEsc && job.at(i + 1) == 0x01) {
            i = ReadEjl(job, i + 2, s);
            continue;
        }
        ++i;
    }
    if (!commands) return QM_E_NOT_UNDERSTOOD;
    uint32_t pages = s.ends;
    if (s.lastEndBlankSide && pages % 2 == 0) {
        --pages;  // the side that closes an odd duplex job
        s.log.Resize(pages, Page{});
    }
    if (s.marks) {
        ++pages;  // marks the job never ejects: the printer ejects them at its end
        out.estimated = true;
        s.End(false);
    }
    if (pages == 0) return QM_E_NOT_UNDERSTOOD;
    uint32_t copies = s.copies;
    if (s.ejlCopies > copies) copies = s.ejlCopies;
    if (s.ejlQuantity > copies) copies = s.ejlQuantity;
    out.rec.pages = pages;
    out.rec.copies = copies;
    out.rec.duplex = s.duplex;
    out.rec.color = s.colour;
    out.rec.paperWidth = s.paperSet ? s.width : s.ejlWidth;
    out.rec.paperLength = s.paperSet ? s.length : s.ejlLength;
    out.pages = std::move(s.log);
    return QM_OK;
}

}  // namespace qm::accurate
