// PCL 5 as the printer reads it. The parser knows the length of every
// command: a parameterised escape sequence is its characters, its groups of
// value and parameter, and the data a data-carrying parameter announces, so a
// form feed or an ESC inside raster, font or pattern data is never taken for
// a command. Pages are the sheet sides the printer ejects: a form feed
// always, and a reset, a UEL, a page-size, paper-source, orientation or
// duplex change, or the end of the job when something was put on the page.
#include "pcl/pcl_accurate.h"

#include <algorithm>
#include <cstring>

#include "pcl/leadbytes.h"
#include "pcl/pcl_accurate_colour.h"
#include "pcl/pjl.h"

namespace qm::pclaccurate {
namespace {

constexpr uint8_t kEscape = 0x1B;
constexpr uint8_t kFormFeed = 0x0C;
constexpr uint32_t kMaxCopies = 32767;  // the most a printer takes
constexpr int64_t kValueCap = 1000000000;
constexpr double kPlotterUnitsPerInch = 1016.0;  // HP-GL/2 plotter units: 0.025 mm

struct PageSize {
    uint32_t code;
    double width, length;
};

// Page-size codes of ESC & l # A, in inches.
constexpr PageSize kPageSizes[] = {
    {1, 7.25, 10.5},    {2, 8.5, 11.0},     {3, 8.5, 14.0},     {6, 11.0, 17.0},  {25, 5.83, 8.27},
    {26, 8.27, 11.69},  {27, 11.69, 16.54}, {45, 7.17, 10.12},  {46, 10.12, 14.33}, {71, 3.94, 5.83},
    {72, 5.83, 7.87},   {80, 3.875, 7.5},   {81, 4.125, 9.5},   {90, 4.33, 8.66}, {91, 6.38, 9.02},
    {100, 6.93, 9.84},  {24, 4.13, 5.83},   {10, 8.5, 13.0},    {11, 8.5, 13.5},  {17, 7.17, 10.12},
};

// HP-GL/2 commands that put something on the page.
constexpr char kDrawingCommands[][3] = {"PD", "PE", "LB", "RR", "RA", "EA", "ER", "EP", "FP",
                                        "CI", "WG", "EW", "AA", "AR", "AT", "BR", "BZ", "SM"};

constexpr bool IsUpperParameter(uint8_t b) noexcept { return b >= 0x40 && b <= 0x5E; }
constexpr bool IsLowerParameter(uint8_t b) noexcept { return b >= 0x60 && b <= 0x7E; }
constexpr bool IsDigit(int b) noexcept { return b >= '0' && b <= '9'; }
constexpr uint8_t Upper(uint8_t b) noexcept { return b >= 'a' && b <= 'z' ? static_cast<uint8_t>(b - 32) : b; }

// hpcups's driverware command ESC * o 5 W 0B 01 00 00 n: n = 1 (grey made
// with the colour inks) or 2 (black ink only) has the printer render the
// page in grey, whatever colours its rows hold; 0 in colour.
bool DriverwareGreyscale(Bytes d, bool current) noexcept {
    if (d.size != 5 || d[0] != 0x0B || d[1] != 0x01) return current;
    return d[4] != 0;
}

// What the scan knows: the settings in force and what ejected pages took.
struct Pcl5Scan {
    Bytes job;
    PjlSettings pjl;
    // In force on the current page; 0 or -1: the PJL default.
    uint32_t copies = 0;
    int duplex = -1;
    double paperWidth = 0.0, paperLength = 0.0;
    bool greyscale = false;    // the driverware command has the printer render grey
    bool marked = false;       // something was put on the sheet side
    bool fresh = true;         // nothing happened to the side since the last eject (or the job's start)
    bool resetEjected = false;  // the last thing that happened was a reset that printed the side
    // Of the pages ejected.
    uint32_t pages = 0;
    uint32_t mostCopies = 0;
    bool anyDuplex = false;
    double firstWidth = 0.0, firstLength = 0.0;
    // What each page prints in, and the pages ejected so far.
    Pcl5Colour colour;
    accurate::PageLog* log = nullptr;
    bool colourPass = true;
    // Well-formed escape sequences and form feeds seen: bytes with neither
    // are no PCL job.
    uint32_t sequences = 0;
    uint32_t formFeeds = 0;

    uint32_t CopiesInForce() const noexcept {
        if (copies > 0) return copies;
        return std::min(pjl.Copies(), kMaxCopies);
    }

    void Eject() {
        LogPage();
        if (pages < UINT32_MAX) ++pages;
        mostCopies = std::max(mostCopies, CopiesInForce());
        if (duplex > 0 || (duplex < 0 && pjl.duplex == PjlDuplex::On)) anyDuplex = true;
        const bool own = paperWidth > 0.0;
        if (!(firstWidth > 0.0)) {
            firstWidth = own ? paperWidth : pjl.paperWidth;
            firstLength = own ? paperLength : pjl.paperLength;
        }
        marked = resetEjected = false;
        fresh = true;
    }
    // The side ejected: its colour (grey when PJL has the printer render
    // greyscale) and its paper.
    void LogPage() {
        const Ink ink = colour.TakePage();
        if (log == nullptr) return;
        accurate::Page page;
        page.color = pjl.Mono() || greyscale || ink <= Ink::Neutral ? QM_PAGE_MONO
                     : ink == Ink::Colour                     ? QM_PAGE_COLOR
                                                              : QM_PAGE_COLOR_UNKNOWN;
        const bool own = paperWidth > 0.0;
        page.paperWidth = own ? paperWidth : pjl.paperWidth;
        page.paperLength = own ? paperLength : pjl.paperLength;
        log->Add(page);
    }
    void EjectIfMarked() {
        if (marked) Eject();
    }
    void Mark() noexcept {
        marked = true;
        resetEjected = fresh = false;
    }
    // Text marks the side too, but leaves it fresh for "eject page": drivers
    // send stray characters before their first raster and eject nothing there.
    void MarkText() noexcept { marked = true, resetEjected = false; }
    // A form feed ejects the side, marked or blank; but a form feed right
    // after a reset printed the side only feeds that sheet out (inkjet drivers
    // end each page with both).
    void FormFeed() {
        if (resetEjected) resetEjected = false;
        else Eject();
    }
    // A reset or a UEL: what PCL set is gone, the PJL defaults are back.
    void Reset() {
        if (marked) {
            Eject();
            resetEjected = true;
        }
        colour.Reset();
        greyscale = false;
        copies = 0;
        duplex = -1;
        paperWidth = paperLength = 0.0;
    }

    uint32_t Data(uint32_t p, int64_t n) const noexcept { return SkipBy(job, p, n > 0 ? static_cast<uint64_t>(n) : 0); }
    // The data a command announces, as far as the job holds it.
    Bytes Payload(uint32_t p, int64_t n) const noexcept {
        return Bytes(job.data + std::min(p, job.size), std::min<uint32_t>(job.left(p), n > 0 ? static_cast<uint32_t>(std::min<int64_t>(n, UINT32_MAX)) : 0));
    }
    // A raster row's plane: handed over while it can still tell the page's colour.
    void Row(uint32_t p, int64_t n, bool last) {
        if (colourPass && colour.WantsRows()) colour.Plane(Payload(p, n), last);
    }

    // Plot sizes in force, from HP-GL/2 passages; the first one is kept.
    double plotWidth = 0.0, plotLength = 0.0;

    uint32_t Hpgl(uint32_t p) {
        HpglPassage passage;
        const uint32_t end = SkipHpglPassage(job, p, passage);
        if (passage.draws) Mark();
        colour.Hpgl(passage.draws, passage.penColour);
        if (!(plotWidth > 0.0) && passage.plotWidth > 0.0) {
            plotWidth = passage.plotWidth;
            plotLength = passage.plotLength;
        }
        return end;
    }

    // One value and parameter: c the parameterised character, g the group
    // (0 when the sequence has none), F the parameter in upper case, v its
    // value and p the index after it. Returns where the scan goes on;
    // `ended` is set when nothing of the sequence follows (another context
    // took over).
    uint32_t Command(uint8_t c, uint8_t g, uint8_t F, int64_t v, uint32_t p, bool& ended) {
        switch (c) {
            case '&':
                if (g == 'l') {
                    if (F == 'A') {
                        EjectIfMarked();
                        double w = 0.0, l = 0.0;
                        if (v >= 0 && PaperOfPageSize(static_cast<uint32_t>(v), w, l)) {
                            paperWidth = w;
                            paperLength = l;
                        }
                    } else if (F == 'H' && v == 0) {
                        // "Eject page" ejects the side, blank or not; but drivers
                        // also send it once more right after a side was ejected,
                        // or before their first page, where it feeds nothing.
                        if (fresh) fresh = resetEjected = false;
                        else Eject();
                    } else if (F == 'H' || F == 'O') {
                        EjectIfMarked();  // a new tray or orientation starts a new sheet side
                    } else if (F == 'S') {
                        EjectIfMarked();
                        duplex = v > 0 ? 1 : 0;
                    } else if (F == 'X') {
                        // A copy count, never a page count.
                        if (v >= 1) copies = static_cast<uint32_t>(std::min<int64_t>(v, kMaxCopies));
                    }
                } else if (g == 'a' && F == 'G') {
                    EjectIfMarked();  // a side of a duplex sheet chosen
                } else if (g == 'p' && F == 'X') {
                    if (v > 0) {
                        Mark();  // transparent print data, printed as text
                        colour.Text();
                    }
                    return Data(p, v);
                }
                break;
            case '*':
                if (g == 'b' && (F == 'W' || F == 'V')) {
                    if (v > 0) Mark();
                    Row(p, v, F == 'W');
                    return Data(p, v);
                }
                if (g == 'b' && F == 'M') {
                    colour.Method(v);
                } else if (g == 'b' && F == 'Y') {
                    colour.SkipRows();
                } else if (g == 'r' && F == 'A') {
                    fresh = resetEjected = false;  // raster graphics begin a side
                    colour.StartRaster();
                } else if (g == 'r' && (F == 'B' || F == 'C')) {
                    colour.StartRaster();  // the raster ends: its seed rows are gone
                } else if (g == 'r' && F == 'U') {
                    colour.SimpleColour(v);  // one plane, CMY, KCMY or RGB planes
                } else if (g == 'r' && F == 'S') {
                    colour.Width(v);
                } else if (g == 'v') {
                    if (F >= 'A' && F <= 'C') colour.Component(F - 'A', v);
                    else if (F == 'I') colour.Assign(v);
                    else if (F == 'S') colour.Foreground(v);
                    else if (F == 'W') colour.ConfigureImage(Payload(p, v));
                } else if (g == 'g' && F == 'W') {
                    colour.ConfigureRaster(Payload(p, v));
                } else if (g == 'o' && F == 'W') {
                    greyscale = DriverwareGreyscale(Payload(p, v), greyscale);
                } else if (g == 'c' && F == 'P') {
                    Mark();  // a rectangle filled
                    colour.Rule(v);
                } else if (g == 'c' && F == 'W') {
                    colour.Pattern(Payload(p, v));
                }
                if (F == 'W') return Data(p, v);
                break;
            case '(':
            case ')':
                if (F == 'W') return Data(p, v);
                break;
            case '%':
                if (g != 0) break;
                if (F == 'X' && v == -12345) {
                    Reset();
                    ended = true;
                    return ReadPjlLines(job, p, pjl);
                }
                if (F == 'B') {
                    ended = true;
                    return Hpgl(p);
                }
                break;
            default:
                if (F == 'W') return Data(p, v);
                break;
        }
        return p;
    }

    // Some inkjet drivers go on with raster rows ("12v...", "0w") right after
    // a closing "ESC * b # Y", "# V" or "# M", without a new ESC * b; their
    // printers read them as rows, and so does this count.
    bool RowsFollow(uint32_t p) const noexcept {
        while (p < job.size && IsDigit(job[p])) ++p;
        const int f = job.at(p);
        return f == 'v' || f == 'w' || f == 'V' || f == 'W';
    }

    // The parameterised sequence whose ESC is at i; returns the index after it.
    uint32_t Parameterised(uint32_t i) {
        const uint8_t c = job[i + 1];
        uint32_t p = i + 2;
        uint8_t g = 0;
        if (p < job.size && IsLowerParameter(job[p])) g = job[p++];
        for (;;) {
            bool negative = false;
            if (p < job.size && (job[p] == '+' || job[p] == '-')) negative = job[p++] == '-';
            int64_t v = 0;
            for (; p < job.size && IsDigit(job[p]); ++p)
                if (v < kValueCap) v = v * 10 + (job[p] - '0');
            if (p < job.size && job[p] == '.') {
                ++p;
                while (p < job.size && IsDigit(job[p])) ++p;
            }
            if (p >= job.size) return job.size;
            const uint8_t f = job[p];
            const bool last = IsUpperParameter(f);
            if (!last && !IsLowerParameter(f)) return p;  // not a parameter: the sequence ends before it
            ++sequences;
            bool ended = false;
            p = Command(c, g, Upper(f), negative ? -v : v, p + 1, ended);
            if (ended || p >= job.size) return p;
            if (last && !(c == '*' && g == 'b' && (f == 'Y' || f == 'V' || f == 'M') && RowsFollow(p))) return p;
        }
    }

    // The escape sequence whose ESC is at i; returns the index after it.
    uint32_t Escape(uint32_t i) {
        const int c = job.at(i + 1);
        if (c < 0) return job.size;
        if (c >= 0x21 && c <= 0x2F) return Parameterised(i);
        if (c >= 0x30 && c <= 0x7E) {
            ++sequences;
            if (c == 'E') Reset();
            return i + 2;
        }
        return i + 1;  // a lone ESC: what follows is read as it stands
    }

    // Raster rows one after another ("ESC * b # W" and "ESC * b # V", each
    // with its data, and the "# M" and "# Y" between them), the bulk of most
    // jobs, read without the general parser. Returns where the first other thing starts (i when none was read).
    uint32_t RasterRows(uint32_t i) {
        const uint8_t* d = job.data;
        const uint32_t n = job.size;
        const uint32_t from = i;
        while (n - i >= 4 && d[i] == kEscape && d[i + 1] == '*' && d[i + 2] == 'b') {
            uint32_t p = i + 3;
            uint32_t v = 0;
            const uint32_t most = n - p > 9 ? p + 9 : n;  // nine digits: no overflow
            for (; p < most && IsDigit(d[p]); ++p) v = v * 10 + (d[p] - '0');
            if (p >= n || p == i + 3) break;
            const uint8_t f = d[p];
            const bool data = f == 'W' || f == 'V';
            if (!data && f != 'M' && f != 'Y') break;  // compression mode and row skips pass here too
            const uint64_t after = uint64_t{p} + 1 + (data ? v : 0);
            const uint32_t next = after < n ? static_cast<uint32_t>(after) : n;
            if (next < n && d[next] != kEscape) break;  // rows without ESC may follow: the parser decides
            if (data && v > 0 && !marked) Mark();
            if (data) Row(p + 1, v, f == 'W');
            else if (f == 'M') colour.Method(v);
            else colour.SkipRows();
            i = next;
        }
        if (i != from) ++sequences;
        return i;
    }

    void Run(uint32_t i) {
        while (i < job.size) {
            // Commands mostly follow one another (raster rows): the search
            // only where something else stands between them.
            const uint32_t next = job[i] == kEscape ? i : FindAny(job, i, kEscape, kFormFeed);
            // Printable bytes between commands are text on the page, in the
            // foreground colour.
            for (uint32_t k = i; (!marked || colour.TextMatters()) && k < next; ++k) {
                if (job[k] > ' ' && job[k] != 0x7F) {
                    MarkText();
                    colour.Text();
                    break;
                }
            }
            if (next >= job.size) break;
            if (job[next] == kFormFeed) {
                ++formFeeds;
                FormFeed();
                i = next + 1;
            } else {
                i = RasterRows(next);
                if (i == next) i = Escape(next);
            }
        }
        EjectIfMarked();  // the end of the job prints what is on the page
    }
};

}  // namespace

bool PaperOfPageSize(uint32_t code, double& width, double& length) noexcept {
    for (const PageSize& s : kPageSizes) {
        if (s.code == code) {
            width = s.width;
            length = s.length;
            return true;
        }
    }
    return false;
}

uint32_t SkipHpglPassage(Bytes job, uint32_t i, HpglPassage& passage) noexcept {
    uint32_t end = job.size;
    for (uint32_t k = job.find(i, kEscape); k < job.size; k = job.find(k + 1, kEscape)) {
        if (job.at(k + 1) == 'E') {
            end = k;
            break;
        }
        if (job.at(k + 1) != '%') continue;
        uint32_t p = k + 2;
        if (p < job.size && (job[p] == '-' || job[p] == '+')) ++p;
        while (p < job.size && IsDigit(job[p])) ++p;
        if (job.at(p) == 'A' || job.at(p) == 'X') {
            end = k;
            break;
        }
    }
    // The commands: two letters, then their parameters up to the next letter.
    const auto isLetter = [](uint8_t b) { return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'); };
    const auto number = [&](uint32_t& k) {
        while (k < end && (job[k] == ' ' || job[k] == ',')) ++k;
        uint64_t n = 0;
        const uint32_t from = k;
        for (; k < end && IsDigit(job[k]); ++k) n = std::min<uint64_t>(n * 10 + (job[k] - '0'), UINT32_MAX);
        if (k < end && job[k] == '.') {
            for (++k; k < end && IsDigit(job[k]); ++k) {}
        }
        return k > from ? static_cast<int64_t>(n) : -1;
    };
    for (uint32_t k = i; k + 1 < end;) {
        if (!isLetter(job[k]) || !isLetter(job[k + 1])) {
            ++k;
            continue;
        }
        const uint8_t a = Upper(job[k]), b = Upper(job[k + 1]);
        k += 2;
        if (a == 'L' && b == 'B') {
            passage.draws = true;  // label text runs to its terminator
            k = std::min(job.find(k, 0x03), end);
            continue;
        }
        if (a == 'P' && b == 'E') {
            passage.draws = true;  // encoded polyline data runs to the ";"
            k = std::min(job.find(k, ';'), end);
            continue;
        }
        if (a == 'P' && b == 'C') passage.penColour = true;
        if (a == 'P' && b == 'S') {
            // Plot size in plotter units (1016 to the inch): length, width.
            const int64_t length = number(k), width = number(k);
            if (length > 0 && width > 0) {
                passage.plotLength = static_cast<double>(length) / kPlotterUnitsPerInch;
                passage.plotWidth = static_cast<double>(width) / kPlotterUnitsPerInch;
            }
            continue;
        }
        for (const char* d : kDrawingCommands) passage.draws = passage.draws || (a == d[0] && b == d[1]);
    }
    return end;
}

int32_t CountPcl5(Bytes job, accurate::Result& out, Pcl5Extras* extras) {
    Pcl5Scan s;
    s.job = job;
    s.log = &out.pages;
    if (extras != nullptr && extras->withoutColour) s.colourPass = false;
    uint32_t i = 0;
    while (i < job.size && (job[i] == 0 || job[i] == 0x04)) ++i;
    i = ReadPjlLines(job, i, s.pjl);
    if (extras != nullptr && extras->startsInHpgl && i < job.size && job[i] != kEscape) {
        ++s.sequences;  // a plot is a job in its own right
        i = s.Hpgl(i);
    }
    s.Run(i);
    if (extras != nullptr) {
        extras->plotWidth = s.plotWidth;
        extras->plotLength = s.plotLength;
        extras->pjlPaper = s.pjl.paperWidth > 0.0;
    }
    if (s.sequences == 0 && s.formFeeds == 0) return QM_E_NOT_UNDERSTOOD;

    PageCountResult& r = out.rec;
    r.pages = s.pages;
    r.copies = s.pages > 0 ? s.mostCopies : s.CopiesInForce();
    r.duplex = s.anyDuplex ? 1 : 0;
    r.paperWidth = s.firstWidth;
    r.paperLength = s.firstLength;
    if (s.pages == 0) {
        const bool own = s.paperWidth > 0.0;
        r.paperWidth = own ? s.paperWidth : s.pjl.paperWidth;
        r.paperLength = own ? s.paperLength : s.pjl.paperLength;
    }
    // The job prints colour when a page does; a page left undecided keeps
    // it from being called mono.
    if (out.pages.Count(QM_PAGE_COLOR) > 0) {
        r.color = 1;
    } else if (out.pages.Count(QM_PAGE_COLOR_UNKNOWN) > 0) {
        r.color = 1;
        out.unknown |= QM_FIELD_COLOR;
    }
    return QM_OK;
}

}  // namespace qm::pclaccurate
