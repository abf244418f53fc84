// The OPL walk: items read one by one, raster data stepped over by the
// length its item states. A page is counted at its end event. Per page, the
// paper is the MediaSize item's self-describing media name (its size at
// the end, "210x297mm", "8.5x11in"), and each plane the page sends is
// announced by a RasterObject.Planes item whose first field is the plane's
// colour mask: 000000 for black, another for cyan, magenta or yellow.
// foo2lava sends the colour planes only for a page with a dot on them, so a
// page is colour when it announces one. Two-sided printing is the job's
// Sides item; the stream has no copies (foo2lava ignores -n for this model).
// The Kodak ESP stream (c2esp) writes items of the same form, opening with
// "LockPrinterWait?Event=StartOfJob;", with queries (names holding "?") and
// page start events, none of which foo2lava writes: such a job is not OPL.
#include "gdi/opl.h"

namespace qm::gdi {
namespace {

constexpr uint32_t kMaxName = 64;
constexpr uint32_t kMaxValue = 256;
constexpr uint32_t kMaxDigits = 9;
constexpr std::string_view kStart = "Event=StartOfJob;";

bool NameByte(int c) noexcept {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_';
}
bool Digit(int c) noexcept { return c >= '0' && c <= '9'; }
std::string_view View(Bytes b, uint32_t from, uint32_t to) noexcept {
    return {reinterpret_cast<const char*>(b.data) + from, to - from};
}

// A decimal number ("8.5", "210") at the front of s, consumed.
bool Number(std::string_view& s, double& v) noexcept {
    v = 0.0;
    size_t i = 0;
    for (; i < s.size() && Digit(s[i]); ++i) v = v * 10 + (s[i] - '0');
    if (i == 0) return false;
    if (i < s.size() && s[i] == '.') {
        double scale = 0.1;
        for (++i; i < s.size() && Digit(s[i]); ++i, scale /= 10) v += (s[i] - '0') * scale;
    }
    s.remove_prefix(i);
    return true;
}

// The size at the end of a self-describing media name, in inches.
bool MediaSize(std::string_view name, double& width, double& length) noexcept {
    const size_t cut = name.rfind('_');
    if (cut == std::string_view::npos) return false;
    std::string_view s = name.substr(cut + 1);
    if (!Number(s, width) || s.empty() || s[0] != 'x') return false;
    s.remove_prefix(1);
    if (!Number(s, length)) return false;
    const double unit = s == "mm" ? 25.4 : s == "in" ? 1.0 : 0.0;
    if (unit == 0.0 || width <= 0.0 || length <= 0.0) return false;
    width /= unit, length /= unit;
    return true;
}

}  // namespace

OplRead ReadOplItem(Bytes b, uint32_t at, OplItem& item) noexcept {
    item = OplItem{};
    uint32_t i = at;
    for (; NameByte(b.at(i)); ++i) {
        if (i - at >= kMaxName) return OplRead::Invalid;
    }
    if (!b.has(i)) return OplRead::Cut;
    if (i == at) return OplRead::Invalid;
    item.name = View(b, at, i);
    if (b[i] == '#') {  // raster data of the stated length
        uint64_t length = 0;
        uint32_t digits = 0;
        for (++i; Digit(b.at(i)); ++i) {
            if (++digits > kMaxDigits) return OplRead::Invalid;
            length = length * 10 + uint32_t(b[i] - '0');
        }
        if (!b.has(i)) return OplRead::Cut;
        if (digits == 0 || b[i] != '=') return OplRead::Invalid;
        ++i;
        if (length + 1 > b.left(i)) return OplRead::Cut;
        i += uint32_t(length);
        if (b[i] != ';') return OplRead::Invalid;
        item.raster = true;
        item.next = i + 1;
        return OplRead::Ok;
    }
    if (b[i] != '=') return OplRead::Invalid;
    const uint32_t value = ++i;
    for (; b.at(i) >= 0x20 && b.at(i) < 0x7F && b.at(i) != ';'; ++i) {
        if (i - value >= kMaxValue) return OplRead::Invalid;
    }
    if (!b.has(i)) return OplRead::Cut;
    if (b[i] != ';') return OplRead::Invalid;
    item.value = View(b, value, i);
    item.next = i + 1;
    return OplRead::Ok;
}

bool OpensOpl(Bytes body) noexcept { return body.matches(0, kStart); }

int32_t CountOpl(Bytes job, accurate::Result& out) {
    char pjl[32], ejl[32];
    const accurate::BidInput in = accurate::Unwrap(job, pjl, ejl);
    const Bytes body{job.data + in.body, job.size - in.body};
    if (!OpensOpl(body)) return QM_E_NOT_UNDERSTOOD;
    uint32_t pages = 0;
    bool ended = false, duplex = false, planes = false, colour = false;
    accurate::Page page;
    for (uint32_t at = 0; at < body.size;) {
        OplItem it;
        if (ReadOplItem(body, at, it) != OplRead::Ok) break;
        at = it.next;
        if (it.raster) continue;
        if (it.name == "Event" && it.value == "StartOfPage") return QM_E_NOT_UNDERSTOOD;  // Kodak's
        if (it.name == "Event" && it.value == "EndOfJob") {
            ended = true;
            break;
        }
        if (it.name == "Event" && it.value == "EndOfPage") {
            page.color = colour ? QM_PAGE_COLOR : planes ? QM_PAGE_MONO : QM_PAGE_COLOR_UNKNOWN;
            out.pages.Add(page);
            if (++pages == 1) out.rec.paperWidth = page.paperWidth, out.rec.paperLength = page.paperLength;
            page = accurate::Page{};
            planes = colour = false;
        } else if (it.name == "Sides") {
            duplex = it.value.substr(0, 3) == "Two";
        } else if (it.name == "MediaSize") {
            if (!MediaSize(it.value, page.paperWidth, page.paperLength)) page.paperWidth = page.paperLength = 0.0;
        } else if (it.name == "RasterObject.Planes") {
            planes = true;
            colour = colour || it.value.substr(0, it.value.find(',')) != "000000";
        }
    }
    if (pages == 0) return QM_E_NOT_UNDERSTOOD;
    out.rec.pages = pages;
    out.rec.copies = 1;
    out.rec.duplex = duplex;
    out.estimated = !ended;
    return QM_OK;
}

}  // namespace qm::gdi

namespace qm::accurate {
int32_t AccurateOPL(Bytes job, Result& out) { return gdi::CountOpl(job, out); }
}  // namespace qm::accurate
