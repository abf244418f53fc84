// The accurate path's table (one row per language of the counter table, then
// one per language without an export), the aliases users type, detection by
// bids and the pass-through of exports.
#include <array>
#include <cstring>
#include <mutex>

#include "accurate/accurate.h"
#include "escp/canon.h"
#include "escp/escp2.h"
#include "jobfile/jobview.h"

namespace qm::accurate {
namespace {

// The rows of the languages without an export: no entry point, no scanner.
#define QM_ACCURATE_ONLY_COUNTER(TAG, LANG, GROUP) \
    CounterInfo{#TAG, LANG, 0, nullptr, nullptr, false, GROUP, "not a job of this language"},
constexpr CounterInfo kAccurateOnly[] = {QM_ACCURATE_ONLY_TABLE(QM_ACCURATE_ONLY_COUNTER)};
#undef QM_ACCURATE_ONLY_COUNTER

#define QM_LANGUAGE_ROW(TAG, ...) Language{nullptr, &Bid##TAG, &Accurate##TAG},
constexpr std::array kRows{QM_COUNTER_TABLE(QM_LANGUAGE_ROW, QM_LANGUAGE_ROW)
                               QM_ACCURATE_ONLY_TABLE(QM_LANGUAGE_ROW)};
#undef QM_LANGUAGE_ROW
#define QM_LANGUAGE_TAG(TAG, ...) std::string_view(#TAG),
constexpr std::array kTags{QM_COUNTER_TABLE(QM_LANGUAGE_TAG, QM_LANGUAGE_TAG)};
#undef QM_LANGUAGE_TAG
static_assert(kRows.size() == kTags.size() + std::size(kAccurateOnly));

// The table joined with the exports' rows, then the rows of its own for the
// languages without an export, built once.
const std::array<Language, kRows.size()>& Table() noexcept {
    static const auto table = [] {
        std::array<Language, kRows.size()> t{};
        for (size_t i = 0; i < kRows.size(); ++i) {
            t[i] = kRows[i];
            t[i].counter = i < kTags.size() ? FindCounter(kTags[i]) : &kAccurateOnly[i - kTags.size()];
        }
        return t;
    }();
    return table;
}

// Everyday names of the languages. Tags themselves are found directly.
struct Alias {
    std::string_view name;
    std::string_view tag;
};
constexpr Alias kAliases[] = {
    {"PS", "POSTSCRIPT"},     {"POSTSCRIPT3", "POSTSCRIPT"}, {"PS3", "POSTSCRIPT"},   {"PCL5", "PCL"},
    {"PCL5E", "PCL"},         {"PCL5C", "PCL"},              {"PCL6", "PCLXL"},       {"PXL", "PCLXL"},
    {"PCL-XL", "PCLXL"},      {"ESCPAGE", "ESC_PAGE"},       {"ESC/PAGE", "ESC_PAGE"}, {"ESC-PAGE", "ESC_PAGE"},
    {"ESC/P2", "ESCP2"},      {"ESCP", "ESCP2"},             {"ESC/P", "ESCP2"},      {"ESC/P-R", "ESCPR"},
    {"HPGL2", "HPGL"},        {"HP-GL/2", "HPGL"},           {"HP-GL", "HPGL"},       {"ZJS", "ZJSTREAM"},
    {"ZJSTREAM", "ZJSTREAM"}, {"OAK", "OAKT"},               {"SPL", "QPDL"},         {"CAPT", "CanonCAPT"},
    {"UFR", "CanonUFR"},      {"UFR2", "CanonUFR"},          {"NCM", "BrotherNCM"},   {"TALLY", "TALLYSTREAM"},
    {"FUJI", "FijiPhoto"},    {"PRINTRONIX", "PrintronixGL"}, {"BJ", "CANON"},        {"BJC", "CANON"},
    {"TEXT", "UnixTextPCL"},  {"PWG", "PWGRaster"},        {"APPLERASTER", "URF"},  {"UNIRAST", "URF"},
    {"APPLE-RASTER", "URF"},  {"CUPS", "CUPSRaster"},        {"RASTER", "CUPSRaster"}, {"CUPS-RASTER", "CUPSRaster"},
    {"HBPL2", "HBPL"},         {"MIN12XXW", "PageProGDI"},    {"PAGEPRO", "PageProGDI"}, {"M2400W", "M2300W"},
    {"MAGICOLOR2300W", "M2300W"}, {"MAGICOLOR2400W", "M2300W"},
    {"ESCP-R", "ESCPR"},
    {"SAGGDI", "RicohGDI"},   {"SAG-GDI", "RicohGDI"},       {"GDI_RL", "RicohGDI"},  {"P-TOUCH", "PTouch"},
    {"KODAK", "KodakESP"},    {"C2ESP", "KodakESP"},
};

// The names PJL and EJL headers give our languages, besides the tags (upper
// case; a trailing "*" matches any ending: ESC/PAGE-COLOR).
constexpr std::string_view kOwnNames[] = {
    "PCL5", "PCL5E", "PCL5C", "PCL3", "PCL3GUI", "PCL6", "PCL-XL", "PXL", "HPGL2", "HP-GL/2", "HP-GL",
    "PS", "POSTSCRIPT3", "PS3", "ESC/PAGE*", "ESCPAGE*", "ESC/P2", "ESC/P", "ZJS", "SPL", "SPL2", "SPLC",
    "UFR", "UFR2", "CAPT", "SAGGDI", "SAG-GDI", "GDI_RL", "P-TOUCH",
};

bool SameNoCase(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && Bytes(a).matchesNoCase(0, b);
}

}  // namespace

GroupMutex& GroupLock(Group g) noexcept {
    constexpr int kGroups = static_cast<int>(Group::Canon) + 1;  // Canon is the last
    static GroupMutex locks[kGroups];
    return locks[static_cast<int>(g)];
}

std::span<const Language> Languages() noexcept { return Table(); }

const Language* FindLanguage(std::string_view name) noexcept {
    for (const Alias& a : kAliases) {
        if (SameNoCase(a.name, name)) {
            name = a.tag;
            break;
        }
    }
    for (const Language& l : Table()) {
        if (SameNoCase(l.counter->tag, name)) return &l;
    }
    return nullptr;
}

int BidOf(const Language& language, Bytes job) noexcept {
    char pjl[32], ejl[32];
    return language.bid(Unwrap(job, pjl, ejl));
}

bool IsOwnLanguageName(std::string_view name) noexcept {
    for (const Language& l : Table()) {
        if (SameNoCase(l.counter->tag, name)) return true;
    }
    for (std::string_view own : kOwnNames) {
        const bool prefix = own.back() == '*';
        if (prefix ? name.substr(0, own.size() - 1) == own.substr(0, own.size() - 1) : name == own) return true;
    }
    return false;
}

Detection Detect(Bytes job) noexcept {
    Detection d;
    char ejl[32];
    const BidInput in = Unwrap(job, d.pjl, ejl);
    // A header that names a language outside ours decides: bytes of that
    // language may well parse as one of ours (escape sequences as PCL), and
    // a believable wrong number is the worst answer.
    if ((!in.pjlLanguage.empty() && !IsOwnLanguageName(in.pjlLanguage)) ||
        (!in.ejlLanguage.empty() && !IsOwnLanguageName(in.ejlLanguage))) {
        d.foreign = true;
        return d;
    }
    // A header that names one of the languages only the accurate count
    // knows (their commands may read as another's) leaves the job to that
    // language alone: it is that language or unknown.
    const Language* named = in.pjlLanguage.empty() ? nullptr : FindLanguage(in.pjlLanguage);
    if (named != nullptr && named->counter->entry == nullptr) {
        const int bid = named->bid(in);
        if (bid > kNoBid) d.winner = named, d.best = bid;
        return d;
    }
    bool tie = false;
    for (const Language& l : Table()) {
        const int bid = l.bid(in);
        if (bid > d.best) {
            d.winner = &l;
            d.best = bid;
            tie = false;
        } else if (bid == d.best) {
            tie = true;  // among languages that do not bid too: then there is no winner anyway
        }
    }
    if (tie) d.winner = nullptr;
    return d;
}

int32_t PassThrough(std::string_view tag, Bytes job, Result& out) {
    const CounterInfo* c = FindCounter(tag);
    if (c == nullptr) return QM_E_INVALIDARG;
    std::memset(&out.rec, 0, sizeof out.rec);
    if (c->scan != nullptr) return CountBytes(job, &out.rec, c->scan, c->skipLeadingNul);
    CommandStream stream;
    stream.Attach(job);
    if (c->group == Group::Escp2) {
        out.rec = escp2::CountStream(stream);
        return QM_OK;
    }
    if (c->group == Group::Canon) {
        out.rec = canon::CountStream(stream);
        return QM_OK;
    }
    // The PDF export reads its file by path and its rules fail on real
    // files; the PDF family has an accurate reader of its own.
    return QM_E_NOT_UNDERSTOOD;
}

namespace {

// The colour of the pages a record alone describes.
uint8_t RecordPageColor(const Result& out) noexcept {
    if (out.unknown & QM_FIELD_COLOR) return QM_PAGE_COLOR_UNKNOWN;
    if (out.rec.color == 0) return QM_PAGE_MONO;
    return out.rec.pages == 1 ? QM_PAGE_COLOR : QM_PAGE_COLOR_UNKNOWN;
}

void SettlePages(Result& out) {
    PageCountResult& r = out.rec;
    if (out.pages.Empty()) {
        Page p;
        p.color = RecordPageColor(out);
        out.pages.Add(p, r.pages);
        return;
    }
    Page fill;
    fill.color = (r.color == 0 && !(out.unknown & QM_FIELD_COLOR)) ? QM_PAGE_MONO : QM_PAGE_COLOR_UNKNOWN;
    out.pages.Resize(r.pages, fill);
    if (out.pages.Count(QM_PAGE_COLOR) > 0) {
        r.color = 1;
        out.unknown &= ~QM_FIELD_COLOR;
    } else if (out.pages.Count(QM_PAGE_COLOR_UNKNOWN) > 0) {
        r.color = 1;  // never mono when a page is undecided
        out.unknown |= QM_FIELD_COLOR;
    } else {
        r.color = 0;
        out.unknown &= ~QM_FIELD_COLOR;
    }
}

}  // namespace

void Finish(Result& out) {
    PageCountResult& r = out.rec;
    if (r.copies == 0) r.copies = 1;
    r.color = r.color ? 1 : 0;
    r.duplex = r.duplex ? 1 : 0;
    if (!(r.paperWidth > 0.0) || !(r.paperLength > 0.0)) {
        r.paperWidth = r.paperLength = 0.0;
        out.unknown |= QM_FIELD_PAPER;
    }
    std::memset(r.reserved, 0, sizeof r.reserved);
    SettlePages(out);
}

QuirometerPage Deliver(const Result& out, const Page& page, uint32_t number) noexcept {
    QuirometerPage p{};
    p.number = number;
    p.color = page.color;
    p.side = page.side;
    if (p.side == QM_SIDE_NONE && out.rec.duplex) p.side = (number % 2 == 1) ? QM_SIDE_FRONT : QM_SIDE_BACK;
    const bool own = page.paperWidth > 0.0 && page.paperLength > 0.0;
    p.paperWidth = own ? page.paperWidth : out.rec.paperWidth;
    p.paperLength = own ? page.paperLength : out.rec.paperLength;
    return p;
}

}  // namespace qm::accurate
