// The Kodak ESP and Hero inkjets' stream, as c2esp writes it: printable
// items one after another, with nothing between them. An item is a query
// ("LockPrinterWait?"), a setting ("Sides=OneSided;") or raster data
// ("RasterObject.Data#N=" and N bytes, then ";"). A job is
// Event=StartOfJob ... Event=EndOfJob; a page Event=StartOfPage ...
// Event=EndOfPage. Two raster forms: the ESP 3 to 9 and 5xxx models get
// JBIG bands of five planes side by side (cyan, magenta, yellow, black, grey),
// the planes named by RasterObject.Planes; the ESP C and Hero models get one
// deflated block of rows per page (RasterObject.Compression=GZIPTok), each
// row a run of blank pixels, a run of pixels (all cyan values, then magenta,
// then yellow, or grey alone) and the blank pixels after.
//
// Paper is the sheet MediaSize names (a PWG self-describing name), two-sided
// is Sides=TwoSided. The driver sends no copies (CUPS repeats the pages);
// a Copies setting, where a job has one, is read. Colour per page: mono when
// the page sends black and grey alone; from the pixels of deflated rows (a
// pixel whose cyan, magenta and yellow differ is colour); unknown for JBIG
// bands with colour planes, which this count does not decode.
#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <vector>

#include "accurate/accurate.h"

namespace qm::accurate {
namespace {

constexpr std::string_view kDataName = "RasterObject.Data#";
constexpr uint32_t kMaxName = 64;
// The longest value: a band's extents, two numbers per row of at most 1280
// (c2esp's band height; the Windows driver's are 1920).
constexpr uint32_t kMaxValue = 64 * 1024;
// A row of pixels: at most 65535 in a run (its count is 16 bits), three planes.
constexpr uint32_t kRowRecord = 4;
// Inflated bytes a job may make the count read, whatever its pages claim:
// a deflated block can grow a thousandfold. Pages past it are of unknown
// colour. (A 600 dpi Letter page of colour rows is 100 MB at most.)
constexpr uint64_t kInflateBudget = uint64_t{1} << 30;
// Components of a neutral pixel differ by at most this (colour management
// leaves greys a few steps apart).
constexpr int kTolerance = 8;

bool NameChar(int c) noexcept {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_';
}
bool Letter(int c) noexcept { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool ValueChar(int c) noexcept { return c >= 0x20 && c < 0x7F && c != ';'; }

enum class Read { Ok, Cut, Bad };
enum class Kind { Query, Setting, Data };

struct Item {
    Kind kind = Kind::Query;
    std::string_view name, value;  // data: value is the raster bytes
    uint32_t next = 0;
};

std::string_view View(Bytes b, uint32_t from, uint32_t to) noexcept {
    return std::string_view(reinterpret_cast<const char*>(b.data + from), to - from);
}

// The item at `at`.
Read ReadItem(Bytes b, uint32_t at, Item& item) noexcept {
    uint32_t i = at;
    while (NameChar(b.at(i)) && i - at < kMaxName) ++i;
    if (!b.has(i)) return Read::Cut;
    if (!Letter(b[at])) return Read::Bad;
    item.name = View(b, at, i);
    if (b[i] == '?') {
        item.kind = Kind::Query;
        item.next = i + 1;
        return Read::Ok;
    }
    if (b[i] == '#' && item.name == kDataName.substr(0, kDataName.size() - 1)) {
        uint64_t n = 0;
        uint32_t digits = 0;
        for (++i; b.at(i) >= '0' && b.at(i) <= '9'; ++i) {
            if (++digits > 9) return Read::Bad;
            n = n * 10 + uint32_t(b[i] - '0');
        }
        if (!b.has(i)) return Read::Cut;
        if (digits == 0 || b[i] != '=') return Read::Bad;
        ++i;
        if (n + 1 > b.left(i)) return Read::Cut;
        if (b[i + uint32_t(n)] != ';') return Read::Bad;
        item.kind = Kind::Data;
        item.value = View(b, i, i + uint32_t(n));
        item.next = i + uint32_t(n) + 1;
        return Read::Ok;
    }
    if (b[i] != '=') return Read::Bad;
    const uint32_t from = ++i;
    while (ValueChar(b.at(i)) && i - from < kMaxValue) ++i;
    if (!b.has(i)) return Read::Cut;
    if (b[i] != ';') return Read::Bad;
    item.kind = Kind::Setting;
    item.value = View(b, from, i);
    item.next = i + 1;
    return Read::Ok;
}

// A PWG self-describing media name's size: "iso_a4_210x297mm",
// "na_letter_8.5x11in". False when the name does not end in one.
bool MediaSize(std::string_view name, double& width, double& length) noexcept {
    const size_t us = name.rfind('_');
    if (us == std::string_view::npos) return false;
    std::string_view size = name.substr(us + 1);
    double unit = 0;
    if (size.ends_with("mm")) unit = 25.4;
    if (size.ends_with("in")) unit = 1.0;
    if (unit == 0) return false;
    size.remove_suffix(2);
    const size_t x = size.find('x');
    if (x == std::string_view::npos) return false;
    double w = 0, l = 0;
    const auto a = std::from_chars(size.data(), size.data() + x, w);
    const auto b = std::from_chars(size.data() + x + 1, size.data() + size.size(), l);
    if (a.ec != std::errc{} || a.ptr != size.data() + x || b.ec != std::errc{} || b.ptr != size.data() + size.size() ||
        !(w > 0 && l > 0 && w < 10000 && l < 10000)) {
        return false;
    }
    width = std::round(w / unit * 100) / 100;
    length = std::round(l / unit * 100) / 100;
    return true;
}

bool Neutral(uint8_t c, uint8_t m, uint8_t y) noexcept {
    return std::abs(c - m) <= kTolerance && std::abs(c - y) <= kTolerance && std::abs(m - y) <= kTolerance;
}

// The rows of a page's deflated block, read as they are inflated: each row's
// runs must add up to the page's width, and there are no more rows than its
// height. Finds whether a pixel is colour. Inflating spends `budget`.
class Rows {
public:
    Rows(uint32_t width, uint32_t height, uint32_t planes, uint64_t& budget)
        : width_(width), height_(height), planes_(planes), budget_(budget) {
        if (inflateInit(&z_) != Z_OK) bad_ = true;
    }
    ~Rows() { inflateEnd(&z_); }
    Rows(const Rows&) = delete;
    Rows& operator=(const Rows&) = delete;

    void Feed(std::string_view data) {
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        z_.avail_in = uInt(data.size());
        while (!bad_ && !ended_ && !colour_ && z_.avail_in > 0) {
            uint8_t out[16384];
            z_.next_out = out;
            z_.avail_out = sizeof out;
            const int rc = inflate(&z_, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) bad_ = true;
            ended_ = rc == Z_STREAM_END;
            const uint32_t made = uint32_t(sizeof out - z_.avail_out);
            if (made > budget_) bad_ = true;
            budget_ -= std::min<uint64_t>(made, budget_);
            Parse(out, made);
            if (rc == Z_BUF_ERROR) break;
        }
    }
    bool colour() const noexcept { return colour_; }
    // Whole rows of good data to the stream's end (or a colour pixel found).
    bool sound() const noexcept { return !bad_ && (colour_ || (ended_ && x_ == 0 && run_ == 0 && record_.empty())); }

private:
    void Parse(const uint8_t* p, uint32_t n) {
        for (uint32_t i = 0; i < n && !bad_ && !colour_;) {
            if (run_ == 0) {
                record_.push_back(p[i++]);
                if (record_.size() < kRowRecord) continue;
                const uint32_t count = record_[0] | uint32_t(record_[1]) << 8;
                const bool blank = record_[2] == 1;
                if (record_[3] != 0 || record_[2] > 1 || count > width_ - x_ || (count == 0 && !blank)) {
                    bad_ = true;
                    break;
                }
                record_.clear();
                x_ += count;
                if (!blank) run_ = count * planes_, pixels_.clear(), pixels_.reserve(run_);
                if (x_ == width_ && blank) EndRow();
                continue;
            }
            const uint32_t take = std::min(run_, n - i);
            pixels_.insert(pixels_.end(), p + i, p + i + take);
            i += take;
            run_ -= take;
            if (run_ == 0) {
                Check();
                if (x_ == width_) EndRow();
            }
        }
    }
    void EndRow() noexcept {
        x_ = 0;
        bad_ = bad_ || ++rows_ > height_;
    }
    void Check() noexcept {
        if (planes_ < 3) return;
        const size_t count = pixels_.size() / 3;
        for (size_t i = 0; i < count && !colour_; ++i) {
            colour_ = !Neutral(pixels_[i], pixels_[count + i], pixels_[2 * count + i]);
        }
    }

    z_stream z_{};
    uint32_t width_, height_, planes_;
    uint64_t& budget_;
    uint32_t x_ = 0, run_ = 0, rows_ = 0;
    std::vector<uint8_t> record_, pixels_;
    bool bad_ = false, ended_ = false, colour_ = false;
};

// What the job's settings say, and the page being read.
struct Walk {
    Result* out = nullptr;
    uint32_t pages = 0, width = 0, height = 0;
    uint64_t budget = kInflateBudget;
    int64_t copies = 0;
    bool started = false, ended = false, duplex = false, inPage = false, bad = false;
    bool colourPlanes = false, deflated = false, jbig = false, planesNamed = false;
    double paperWidth = 0, paperLength = 0;
    std::unique_ptr<Rows> rows;

    void StartPage() {
        inPage = true;
        colourPlanes = deflated = jbig = planesNamed = false;
        width = height = 0;
        rows.reset();
    }
    uint8_t PageColour() const noexcept {
        if (!planesNamed || !colourPlanes) return planesNamed ? QM_PAGE_MONO : QM_PAGE_COLOR_UNKNOWN;
        if (rows && rows->sound()) return rows->colour() ? QM_PAGE_COLOR : QM_PAGE_MONO;
        return QM_PAGE_COLOR_UNKNOWN;
    }
    void EndPage() {
        inPage = false;
        ++pages;
        Page p;
        p.color = PageColour();
        p.paperWidth = paperWidth;
        p.paperLength = paperLength;
        out->pages.Add(p);
        if (pages == 1) out->rec.paperWidth = paperWidth, out->rec.paperLength = paperLength;
        rows.reset();
    }
    void Setting(std::string_view name, std::string_view value) {
        if (name == "Event") {
            if (value == "StartOfJob") started = true;
            if (value == "EndOfJob") ended = true;
            if (value == "StartOfPage") StartPage();
            if (value == "EndOfPage" && inPage) EndPage();
        } else if (name == "Sides") {
            duplex = value == "TwoSided";
        } else if (name == "Copies") {
            const auto r = std::from_chars(value.data(), value.data() + value.size(), copies);
            if (r.ec != std::errc{} || r.ptr != value.data() + value.size()) copies = 0;
        } else if (name == "MediaSize") {
            if (!MediaSize(value, paperWidth, paperLength)) paperWidth = paperLength = 0;
        } else if (!inPage) {
            return;
        } else if (name == "RasterObject.Planes") {
            // Each plane "RRGGBB,..." joined by "&": colour planes are not black.
            planesNamed = true;
            for (size_t at = 0; at < value.size();) {
                const std::string_view ink = value.substr(at, 6);
                colourPlanes = colourPlanes || ink != "000000";
                const size_t amp = value.find('&', at);
                at = amp == std::string_view::npos ? value.size() : amp + 1;
            }
        } else if (name == "RasterObject.Colorspace" || name == "PrintColorspace") {
            planesNamed = true;
            colourPlanes = value != "Mono" && value != "Grayscale";
        } else if (name == "RasterObject.Compression") {
            deflated = value == "GZIPTok";
            jbig = value == "JBIG";
        } else if (name == "RasterObject.Width") {
            const auto r = std::from_chars(value.data(), value.data() + value.size(), width);
            if (r.ec != std::errc{}) width = 0;
        } else if (name == "RasterObject.Height") {
            const auto r = std::from_chars(value.data(), value.data() + value.size(), height);
            if (r.ec != std::errc{}) height = 0;
        }
    }
    void Data(std::string_view data) {
        if (!inPage || !deflated || !colourPlanes || width == 0 || height == 0) return;
        if (!rows) rows = std::make_unique<Rows>(width, height, 3, budget);
        rows->Feed(data);
    }
};

}  // namespace

// The job opens with the driver's lock query or its job start, then items
// that parse; a job cut short of its first items keeps the signature.
int BidKodakESP(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    if (!b.matches(0, "LockPrinterWait?") && !b.matches(0, "Event=StartOfJob;")) return kNoBid;
    // foo2lava's OPL writes items of the same form from "Event=StartOfJob;"
    // on, but never a query nor a page start event: without one of them the
    // stream is not this one.
    uint32_t at = 0;
    bool started = false, kodak = false;
    for (int n = 0; n < 8 && at < b.size; ++n) {
        Item item;
        const Read r = ReadItem(b, at, item);
        if (r == Read::Bad) return kNoBid;
        if (r == Read::Cut) return kodak ? kBidSignature : kNoBid;
        started = started || (item.name == "Event" && item.value == "StartOfJob");
        kodak = kodak || item.kind == Kind::Query || (item.name == "Event" && item.value == "StartOfPage");
        at = item.next;
    }
    if (!kodak) return kNoBid;
    if (started) return Parsed(Declares(in, "KODAKESP"));
    return kBidSignature;
}

int32_t AccurateKodakESP(Bytes job, Result& out) {
    char pjl[32], ejl[32];
    const uint32_t body = Unwrap(job, pjl, ejl).body;
    const Bytes b(job.data + body, job.left(body));
    Walk w;
    w.out = &out;
    uint32_t at = 0;
    while (!w.ended) {
        Item item;
        if (ReadItem(b, at, item) != Read::Ok) break;  // the end reads as a cut item
        if (item.kind == Kind::Setting) w.Setting(item.name, item.value);
        if (item.kind == Kind::Data) w.Data(item.value);
        at = item.next;
    }
    if (!w.started || w.pages == 0) return QM_E_NOT_UNDERSTOOD;
    out.rec.pages = w.pages;
    out.rec.copies = w.copies > 0 && w.copies < 0x10000 ? uint32_t(w.copies) : 1;
    out.rec.duplex = w.duplex;
    // A job cut before its end: the pages it ends are counted, no more.
    out.estimated = !w.ended;
    return QM_OK;
}

}  // namespace qm::accurate
