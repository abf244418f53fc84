// PostScript as a printer runs it, without interpreting it. Pages come from
// the page comments of the document structure (embedded documents left out),
// else from the header's page total, else from the showpage calls the job
// executes at its top level. Copies, duplex and paper come from what the job
// executes: a page-device request inside a procedure that is only defined
// asks for nothing until the procedure is called.
#include "pspdf/postscript_accurate.h"
#include "pspdf/postscript_accurate_colour.h"
#include "pspdf/postscript_accurate_lexer.h"
#include "pspdf/pdf_accurate_colour.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qm::psaccurate {
namespace {

constexpr double kPointsPerInch = 72.0;
constexpr uint32_t kMaxCopies = 32767;
constexpr size_t kMaxDepth = 256;         // procedure nesting followed; deeper bodies count as their parent
constexpr size_t kMaxProcedures = 4096;   // remembered definitions
constexpr size_t kMaxNameLength = 127;
constexpr int kMaxEmbedding = 64;         // nested embedded documents followed
constexpr size_t kMaxEmbedded = 4096;     // embedded documents remembered for the colour pass
constexpr size_t kMaxPageParts = 1u << 20;  // pages read for colour; pages past these are unknown

// What a body of code asks for when it runs.
struct Effects {
    bool setpagedevice = false;
    int duplex = -1;
    bool duplexOnTrue = false;  // asks for duplex only when its caller passes true
    double numCopies = 0.0;
    double hashCopies = 0.0;
    double pageWidth = 0.0, pageLength = 0.0;
    uint64_t showpages = 0;
    bool looped = false;

    bool Any() const noexcept {
        return setpagedevice || duplex >= 0 || duplexOnTrue || numCopies > 0 || hashCopies > 0 || pageWidth > 0 ||
               showpages > 0 || looped;
    }
    // Adds a body's requests that run `times` times within this one.
    void Merge(const Effects& e, uint64_t times = 1) noexcept {
        setpagedevice = setpagedevice || e.setpagedevice;
        if (e.duplex >= 0) duplex = e.duplex;
        duplexOnTrue = duplexOnTrue || e.duplexOnTrue;
        if (e.numCopies > 0) numCopies = e.numCopies;
        if (e.hashCopies > 0) hashCopies = e.hashCopies;
        if (e.pageWidth > 0) {
            pageWidth = e.pageWidth;
            pageLength = e.pageLength;
        }
        showpages = std::min<uint64_t>(showpages + e.showpages * std::min<uint64_t>(times, 1u << 20), UINT32_MAX);
        looped = looped || e.looped;
    }
};

struct Frame {
    Effects effects;
    std::string name;        // the literal name the body was opened after ("/name {"), if any
    double timesBefore = 0;  // the integer before the body, for "n { } repeat"
    bool hasSibling = false;  // the body follows another one ("{ } { } ifelse")
    Effects sibling;
};

class Tokenizer {
public:
    DeviceRequests requests;

    void Run(Bytes job, uint32_t from, uint32_t to) {
        code_ = job;
        end_ = std::min(to, job.size);
        for (uint32_t i = from; i < end_;) {
            Token t;
            i = Next(i, t);
            if (t.kind != Kind::None) On(t);
        }
    }

private:
    Bytes code_;
    uint32_t end_ = 0;
    std::vector<Frame> frames_{Frame{}};
    size_t deeper_ = 0;  // bodies opened beyond kMaxDepth
    std::unordered_map<std::string, Effects> procs_;
    // A bit per name procs_ has held, by NameBit: most names a job calls are
    // none of them, and are told so without a lookup.
    uint64_t procBits_ = 0;
    static uint64_t NameBit(std::string_view name) noexcept {
        if (name.empty()) return 1;
        return uint64_t{1} << ((name.size() * 7 + uint8_t(name.front()) + uint8_t(name.back())) & 63);
    }
    // The last tokens seen, most recent first; their text points into the job.
    Token prev_[2];
    // A body just closed, waiting for the token that says what becomes of it.
    bool closed_ = false;
    Frame closedFrame_;
    bool closedAgain_ = false;  // two bodies closed one after the other
    Effects otherBody_;
    // "/PageSize [ w h ]" in progress: 0 none, 1 after the name, 2 in the array.
    int pageSizeState_ = 0;
    double pageSize_[2] = {0, 0};
    int pageSizeCount_ = 0;

    Effects& Top() noexcept { return frames_.back().effects; }

    void Remember(const Token& t) noexcept {
        prev_[1] = prev_[0];
        prev_[0] = t;
    }

    static bool Is(const Token& t, std::string_view name) noexcept {
        return t.kind == Kind::Name && t.text == name;
    }

    // What becomes of a closed body, decided by the token after it.
    void Settle(const Token& t) {
        if (!closed_) return;
        if (t.kind == Kind::OpenProc && !closedAgain_) return;  // a second body follows
        if (Is(t, "bind") || Is(t, "executeonly") || Is(t, "readonly") || Is(t, "noaccess")) return;
        closed_ = false;
        Effects body = closedFrame_.effects;
        if (closedAgain_) {
            // Only one of two bodies runs: its showpages are the larger body's, not both added up.
            const uint64_t either = std::max(body.showpages, otherBody_.showpages);
            body.Merge(otherBody_);
            body.showpages = either;
        }
        closedAgain_ = false;
        if (Is(t, "def")) {
            // A definition: remembered for the calls, asks for nothing now. One
            // that asks for nothing replaces what the name asked for before.
            if (closedFrame_.name.empty()) return;
            if (!body.Any()) procs_.erase(closedFrame_.name);
            else if (procs_.size() < kMaxProcedures) {
                procs_[closedFrame_.name] = body;
                procBits_ |= NameBit(closedFrame_.name);
            }
            return;
        }
        if (Is(t, "if")) {
            // Run on a condition: a duplex request depends on the operand.
            if (body.duplex > 0 && frames_.size() > 1) {
                body.duplex = -1;
                body.duplexOnTrue = true;
            }
            Top().Merge(body);
        } else if (Is(t, "ifelse") || Is(t, "exec") || Is(t, "stopped")) {
            Top().Merge(body);
        } else if (Is(t, "repeat")) {
            const double n = closedFrame_.timesBefore;
            if (n >= 0 && n == std::floor(n)) {
                Top().Merge(body, static_cast<uint64_t>(n));
            } else {
                if (body.showpages > 0) body.looped = true;
                body.showpages = 0;
                Top().Merge(body);
            }
        } else if (Is(t, "for") || Is(t, "loop") || Is(t, "forall") || Is(t, "kshow") || Is(t, "cshow") ||
                   Is(t, "pathforall") || Is(t, "resourceforall") || Is(t, "filenameforall")) {
            if (body.showpages > 0) body.looped = true;
            body.showpages = 0;
            Top().Merge(body);
        }
        // Anything else (put, load, an operand left on the stack) runs nothing now.
    }

    void Commit() noexcept {
        Effects& e = frames_.front().effects;
        if (e.hashCopies > 0) {
            requests.copies = static_cast<uint32_t>(std::min<double>(e.hashCopies, kMaxCopies));
            e.hashCopies = 0;
        }
        if (e.setpagedevice) {
            if (e.duplex >= 0) requests.duplex = e.duplex;
            if (e.numCopies >= 1) requests.copies = static_cast<uint32_t>(std::min<double>(e.numCopies, kMaxCopies));
            if (e.pageWidth > 0 && !(requests.pageWidth > 0)) {
                requests.pageWidth = e.pageWidth;
                requests.pageLength = e.pageLength;
            }
            e.setpagedevice = false;
            e.duplex = -1;
            e.numCopies = 0;
            e.pageWidth = e.pageLength = 0;
        }
        e.duplexOnTrue = false;
        requests.showpages = std::min<uint64_t>(requests.showpages + e.showpages, UINT32_MAX);
        e.showpages = 0;
        requests.loopedShowpage = requests.loopedShowpage || e.looped;
        e.looped = false;
    }

    void On(const Token& t) {
        Settle(t);
        Effects& e = Top();
        // Page-device dictionary entries.
        if (prev_[0].kind == Kind::Literal) {
            const std::string_view key = prev_[0].text;
            if (key == "Duplex" && t.kind == Kind::Boolean) e.duplex = t.text == "true" ? 1 : 0;
            if (key == "NumCopies" && t.kind == Kind::Number) e.numCopies = t.number;
            if (key == "PageSize" && t.kind == Kind::OpenArray) {
                pageSizeState_ = 2;
                pageSizeCount_ = 0;
            }
        }
        if (pageSizeState_ == 2 && t.kind == Kind::Number && pageSizeCount_ < 2) pageSize_[pageSizeCount_++] = t.number;
        if (pageSizeState_ == 2 && t.kind == Kind::CloseArray) {
            if (pageSizeCount_ == 2 && pageSize_[0] > 0 && pageSize_[1] > 0) {
                e.pageWidth = pageSize_[0];
                e.pageLength = pageSize_[1];
            }
            pageSizeState_ = 0;
        }
        switch (t.kind) {
            case Kind::OpenProc:
                if (frames_.size() < kMaxDepth) {
                    Frame f;
                    if (prev_[0].kind == Kind::Literal) f.name = std::string(prev_[0].text.substr(0, kMaxNameLength));
                    if (prev_[0].kind == Kind::Number) f.timesBefore = prev_[0].number;
                    if (closed_ && !closedAgain_) {
                        f.hasSibling = true;
                        f.sibling = closedFrame_.effects;
                        closed_ = false;
                    }
                    frames_.push_back(std::move(f));
                } else {
                    ++deeper_;
                }
                break;
            case Kind::CloseProc:
                if (deeper_ > 0) {
                    --deeper_;
                } else if (frames_.size() > 1) {
                    closedFrame_ = std::move(frames_.back());
                    frames_.pop_back();
                    closedAgain_ = closedFrame_.hasSibling;
                    if (closedAgain_) otherBody_ = closedFrame_.sibling;
                    closed_ = true;
                }
                break;
            case Kind::Name:
                if (t.text == "setpagedevice") {
                    e.setpagedevice = true;
                } else if (t.text == "showpage" || t.text == "copypage") {
                    ++e.showpages;
                } else if (t.text == "setduplexmode") {
                    if (prev_[0].kind == Kind::Boolean) {
                        e.duplex = prev_[0].text == "true" ? 1 : 0;
                        e.setpagedevice = true;
                    }
                } else if (t.text == "def" && prev_[0].kind == Kind::Number && prev_[1].kind == Kind::Literal &&
                           prev_[1].text == "#copies") {
                    e.hashCopies = prev_[0].number;
                } else if ((procBits_ & NameBit(t.text.substr(0, kMaxNameLength))) != 0 && !procs_.empty()) {
                    const auto p = procs_.find(std::string(t.text.substr(0, kMaxNameLength)));
                    if (p != procs_.end()) {
                        Effects call = p->second;
                        if (call.duplexOnTrue) {
                            call.duplexOnTrue = false;
                            if (prev_[0].kind == Kind::Boolean) call.duplex = prev_[0].text == "true" ? 1 : 0;
                        }
                        e.Merge(call);
                    }
                }
                break;
            default:
                break;
        }
        if (frames_.size() == 1 && !closed_) Commit();
        Remember(t);
    }

    [[gnu::always_inline]] uint32_t Next(uint32_t i, Token& t) noexcept { return NextToken(code_, end_, i, t); }
};

// A medium named by %%DocumentMedia.
struct Medium {
    std::string name;
    double width = 0.0, length = 0.0;  // points
};

// The document structure read from the comments.
struct Structure {
    uint32_t pageComments = 0;
    int64_t headerPages = -1;  // %%Pages: in the header; -1 none
    bool pagesAtEnd = false;
    int64_t trailerPages = -1;
    uint32_t requiredCopies = 0;
    std::vector<Medium> media;
    std::string firstPageMedium;
    bool inFirstPage = false;
    double box[4] = {0, 0, 0, 0};
    bool hasBox = false;
    bool inTrailer = false;
    bool encapsulated = false;  // an EPS file: its bounding box is a drawing's, not a sheet's
    // Parts of the job whose code runs between pages, as [from, to).
    std::vector<std::pair<uint32_t, uint32_t>> parts;
    // Where each %%Page: comment and the trailer stand; the embedded documents.
    std::vector<uint32_t> pageAt;
    uint32_t trailerAt = UINT32_MAX;
    std::vector<Span> embedded;
    // The colour comments: process colours only black (1), others (0), none (-1).
    int documentBlack = -1;
    bool documentCustom = false;
    std::vector<int8_t> pageBlack;  // per page, as for the document; a custom colour makes it 0
};

// Whether a colour comment's list names only black: process colours
// ("Black"), or custom colours whose names are neutral inks.
bool OnlyBlack(Bytes line, size_t keyword, bool custom) {
    const std::string_view text(reinterpret_cast<const char*>(line.data) + keyword, line.size - keyword);
    bool any = false;
    for (size_t i = 0; i < text.size();) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (i >= text.size()) break;
        size_t end;
        std::string_view name;
        if (text[i] == '(') {
            end = text.find(')', i);
            if (end == std::string_view::npos) end = text.size();
            name = text.substr(i + 1, end - i - 1);
            ++end;
        } else {
            end = i;
            while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
            name = text.substr(i, end - i);
        }
        i = end;
        any = true;
        if (custom ? pdf::ColourCheck::InkOf(name) != pdf::ColourCheck::kNeutralInk : name != "Black") return false;
    }
    return custom || any;
}

bool StartsWith(Bytes line, std::string_view s) noexcept { return line.matches(0, s); }

// The words of a comment's value, after its keyword.
std::vector<std::string_view> Words(Bytes line, size_t keyword, size_t most) {
    std::vector<std::string_view> words;
    uint32_t k = static_cast<uint32_t>(keyword);
    while (k < line.size && words.size() < most) {
        while (k < line.size && (line[k] == ' ' || line[k] == '\t')) ++k;
        const uint32_t from = k;
        while (k < line.size && line[k] != ' ' && line[k] != '\t') ++k;
        if (k > from) words.emplace_back(reinterpret_cast<const char*>(line.data + from), k - from);
    }
    return words;
}

bool ToNumber(std::string_view s, double& v) {
    if (s.empty() || s.size() > 32) return false;
    char buf[40];
    std::memcpy(buf, s.data(), s.size());
    buf[s.size()] = '\0';
    char* end = nullptr;
    v = std::strtod(buf, &end);
    return end == buf + s.size() && std::isfinite(v);
}

// A number at the start of s ("12", "3)"), or -1.
int64_t LeadingInteger(std::string_view s) noexcept {
    int64_t n = 0;
    size_t k = 0;
    for (; k < s.size() && s[k] >= '0' && s[k] <= '9' && n < 1000000000; ++k) n = n * 10 + (s[k] - '0');
    return k == 0 ? -1 : n;
}

// Reads the comments of the job, line by line at each "%%" that starts a
// line, and marks the parts whose code runs outside the page bodies.
Structure ReadStructure(Bytes job) {
    Structure s;
    int embedded = 0;
    uint32_t partFrom = 0;  // the code before the first page runs
    bool inPart = true;
    const auto openPart = [&](uint32_t at) {
        if (!inPart && embedded == 0) {
            partFrom = at;
            inPart = true;
        }
    };
    const auto closePart = [&](uint32_t at) {
        if (inPart) {
            if (at > partFrom) s.parts.emplace_back(partFrom, at);
            inPart = false;
        }
    };
    const uint32_t firstLine = std::min<uint32_t>(job.find(0, '\n'), std::min<uint32_t>(job.size, 80));
    s.encapsulated = job.matches(0, "%!PS-Adobe-") &&
                     std::string_view(reinterpret_cast<const char*>(job.data), firstLine).find(" EPSF-") != std::string_view::npos;
    uint32_t i = 0;
    bool inMediaList = false;
    while (i < job.size) {
        const void* hit = std::memchr(job.data + i, '%', job.size - i);
        if (hit == nullptr) break;
        const uint32_t p = static_cast<uint32_t>(static_cast<const uint8_t*>(hit) - job.data);
        const bool lineStart = p == 0 || job[p - 1] == '\n' || job[p - 1] == '\r';
        if (!lineStart || job.at(p + 1) != '%') {
            i = p + 1;
            continue;
        }
        uint32_t eol = p;
        while (eol < job.size && job[eol] != '\n' && job[eol] != '\r' && eol - p < 512) ++eol;
        const Bytes line(job.data + p, eol - p);
        i = eol;
        if (StartsWith(line, "%%BeginDocument")) {
            if (embedded == 0) {
                closePart(p);
                if (s.embedded.size() < kMaxEmbedded) s.embedded.push_back({p, job.size});
            }
            if (embedded < kMaxEmbedding) ++embedded;
            continue;
        }
        if (StartsWith(line, "%%EndDocument")) {
            if (embedded > 0 && --embedded == 0) {
                if (!s.embedded.empty() && s.embedded.back().to == job.size) s.embedded.back().to = eol;
                if (s.pageComments == 0) openPart(eol);
            }
            continue;
        }
        if (StartsWith(line, "%%BeginData:") || StartsWith(line, "%%BeginBinary:")) {
            // Data of a stated length: "n [type [Bytes|Lines]]".
            const auto w = Words(line, line.matches(0, "%%BeginData:") ? 12 : 14, 3);
            const int64_t n = w.empty() ? -1 : LeadingInteger(w[0]);
            const bool lines = w.size() == 3 && w[2] == "Lines";
            uint32_t k = eol;
            if (k < job.size && job[k] == '\r') ++k;
            if (k < job.size && job[k] == '\n') ++k;
            if (n > 0 && !lines) {
                i = SkipBy(job, k, static_cast<uint64_t>(n));
            } else if (n > 0) {
                for (int64_t l = 0; l < n && k < job.size; ++l) k = std::min(job.find(k, '\n') + 1, job.size);
                i = k;
            }
            continue;
        }
        if (embedded > 0) continue;
        // %%DocumentMedia may go on over "%%+" lines, one medium each.
        const bool mediumLine = StartsWith(line, "%%DocumentMedia:") || (inMediaList && StartsWith(line, "%%+"));
        inMediaList = mediumLine;
        if (StartsWith(line, "%%Page:")) {
            closePart(p);
            s.inFirstPage = s.pageComments == 0;
            if (s.pageComments < UINT32_MAX) ++s.pageComments;
            if (s.pageAt.size() < kMaxPageParts) {
                s.pageAt.push_back(p);
                s.pageBlack.push_back(-1);
            }
            s.inTrailer = false;
        } else if (StartsWith(line, "%%PageProcessColors:") || StartsWith(line, "%%PageCustomColors:")) {
            const bool custom = line.matches(6, "Custom");
            if (!s.pageBlack.empty() && s.pageBlack.back() != 0) {
                const bool black = OnlyBlack(line, custom ? 19 : 20, custom);
                if (!black) s.pageBlack.back() = 0;
                else if (!custom) s.pageBlack.back() = 1;
            }
        } else if (StartsWith(line, "%%DocumentProcessColors:")) {
            if (line.size > 24 && !line.matches(25, "(atend)")) s.documentBlack = OnlyBlack(line, 24, false) ? 1 : 0;
        } else if (StartsWith(line, "%%DocumentCustomColors:")) {
            if (!line.matches(24, "(atend)") && !OnlyBlack(line, 23, true)) s.documentCustom = true;
        } else if (StartsWith(line, "%%BeginPageSetup") || StartsWith(line, "%%BeginFeature") ||
                   StartsWith(line, "%%BeginSetup")) {
            openPart(eol);
        } else if (StartsWith(line, "%%EndPageSetup") || (StartsWith(line, "%%EndFeature") && s.pageComments > 0)) {
            closePart(p);
        } else if (StartsWith(line, "%%Trailer")) {
            if (s.trailerAt == UINT32_MAX) s.trailerAt = p;
            closePart(p);
            openPart(eol);
            s.inTrailer = true;
        } else if (StartsWith(line, "%%Pages:")) {
            const auto w = Words(line, 8, 1);
            if (!w.empty() && w[0] == "(atend)") {
                if (!s.inTrailer) s.pagesAtEnd = true;
            } else if (!w.empty()) {
                const int64_t n = LeadingInteger(w[0]);
                if (s.inTrailer || s.pageComments > 0) s.trailerPages = n;
                else if (s.headerPages < 0) s.headerPages = n;
            }
        } else if (StartsWith(line, "%%Requirements:")) {
            const std::string_view text(reinterpret_cast<const char*>(line.data), line.size);
            const size_t at = text.find("numcopies(");
            if (at != std::string_view::npos) {
                const int64_t n = LeadingInteger(text.substr(at + 10));
                if (n >= 1) s.requiredCopies = static_cast<uint32_t>(std::min<int64_t>(n, kMaxCopies));
            }
        } else if (mediumLine) {
            const auto w = Words(line, line[2] == '+' ? 3 : 16, 3);
            Medium m;
            if (w.size() == 3 && ToNumber(w[1], m.width) && ToNumber(w[2], m.length) && m.width > 0 &&
                m.length > 0 && s.media.size() < 64) {
                m.name = std::string(w[0]);
                s.media.push_back(std::move(m));
            }
        } else if (StartsWith(line, "%%PageMedia:")) {
            const auto w = Words(line, 12, 1);
            if (!w.empty() && s.inFirstPage && s.firstPageMedium.empty()) s.firstPageMedium = std::string(w[0]);
        } else if (StartsWith(line, "%%BoundingBox:")) {
            const auto w = Words(line, 14, 4);
            double b[4] = {};
            if (w.size() == 4 && ToNumber(w[0], b[0]) && ToNumber(w[1], b[1]) && ToNumber(w[2], b[2]) &&
                ToNumber(w[3], b[3]) && b[2] > b[0] && b[3] > b[1]) {
                std::copy(b, b + 4, s.box);
                s.hasBox = true;
            }
        }
    }
    closePart(job.size);
    return s;
}

// The pages' colours (and sizes, where a page asks for one), from the colour
// pass; where the showpage calls the pages execute disagree with the page
// comments, what executes is the count, marked estimated.
void Colours(Bytes job, const Structure& s, accurate::Result& out) {
    std::vector<Span> pages;
    Span prolog{0, 0};
    if (s.pageAt.empty()) {
        pages.push_back({0, job.size});
    } else {
        prolog.to = s.pageAt.front();
        for (size_t k = 0; k < s.pageAt.size(); ++k) {
            const uint32_t next = k + 1 < s.pageAt.size() ? s.pageAt[k + 1] : std::min(s.trailerAt, job.size);
            pages.push_back({s.pageAt[k], std::max(next, s.pageAt[k])});
        }
    }
    const ColourPages c = ReadColours(job, prolog, pages, s.embedded);
    PageCountResult& r = out.rec;
    const bool byShowpage = c.showpagesCertain && !c.byShowpage.empty() &&
                            (s.pageComments == 0 ? c.byShowpage.size() == r.pages : c.byShowpage.size() != r.pages);
    if (byShowpage && s.pageComments > 0) {
        r.pages = static_cast<uint32_t>(c.byShowpage.size());
        out.estimated = true;
    }
    out.pages.Clear();
    if (byShowpage) {
        for (uint8_t v : c.byShowpage) {
            accurate::Page page;
            page.color = v;
            out.pages.Add(page);
        }
    } else if (s.pageComments > 0) {
        const bool documentBlack = s.documentBlack == 1 && !s.documentCustom;
        for (size_t k = 0; k < c.byComment.size(); ++k) {
            accurate::Page page;
            page.color = c.byComment[k];
            // The comments settle what the code leaves open, never against a colour seen.
            if (page.color == QM_PAGE_COLOR_UNKNOWN && (s.pageBlack[k] == 1 || (documentBlack && s.pageBlack[k] != 0)))
                page.color = QM_PAGE_MONO;
            page.paperWidth = c.paper[k].first / kPointsPerInch;
            page.paperLength = c.paper[k].second / kPointsPerInch;
            out.pages.Add(page);
        }
    }
    // Pages the pass did not see are unknown (Finish fills them in).
    r.color = out.pages.Count(QM_PAGE_COLOR) > 0 || out.pages.Count(QM_PAGE_COLOR_UNKNOWN) > 0 || out.pages.Empty();
    if (out.pages.Count(QM_PAGE_COLOR) == 0 && (out.pages.Count(QM_PAGE_COLOR_UNKNOWN) > 0 || out.pages.Pages() < r.pages))
        out.unknown |= QM_FIELD_COLOR;
}

}  // namespace

DeviceRequests ExecutedRequests(Bytes code) {
    Tokenizer t;
    t.Run(code, 0, code.size);
    return t.requests;
}

int32_t CountPostScript(Bytes job, accurate::Result& out, bool colour) {
    const Structure s = ReadStructure(job);
    Tokenizer t;
    if (s.pageComments > 0) {
        for (const auto& [from, to] : s.parts) t.Run(job, from, to);
    } else {
        t.Run(job, 0, job.size);  // no page structure: the whole job is read for its showpages
    }
    const DeviceRequests& dev = t.requests;

    PageCountResult& r = out.rec;
    if (s.pageComments > 0) {
        r.pages = s.pageComments;
    } else {
        const int64_t declared = s.pagesAtEnd ? s.trailerPages : (s.headerPages >= 0 ? s.headerPages : s.trailerPages);
        if (dev.showpages > 0 && !dev.loopedShowpage) {
            r.pages = static_cast<uint32_t>(std::min<uint64_t>(dev.showpages, UINT32_MAX));
        } else if (declared > 0) {
            r.pages = static_cast<uint32_t>(std::min<int64_t>(declared, UINT32_MAX));
        } else {
            return QM_E_NOT_UNDERSTOOD;  // nothing tells the pages: no number rather than a made-up one
        }
        out.estimated = true;
    }
    r.copies = dev.copies > 0 ? dev.copies : (s.requiredCopies > 0 ? s.requiredCopies : 1);
    r.duplex = dev.duplex > 0 ? 1 : 0;

    // Paper: the first page's medium, an executed page size, the document's
    // first medium, and the bounding box as a last resort.
    const Medium* medium = nullptr;
    for (const Medium& m : s.media)
        if (!s.firstPageMedium.empty() && m.name == s.firstPageMedium) medium = &m;
    if (medium != nullptr) {
        r.paperWidth = medium->width / kPointsPerInch;
        r.paperLength = medium->length / kPointsPerInch;
    } else if (dev.pageWidth > 0) {
        r.paperWidth = dev.pageWidth / kPointsPerInch;
        r.paperLength = dev.pageLength / kPointsPerInch;
    } else if (!s.media.empty()) {
        r.paperWidth = s.media.front().width / kPointsPerInch;
        r.paperLength = s.media.front().length / kPointsPerInch;
    } else if (s.hasBox && !s.encapsulated && s.box[0] >= 0 && s.box[1] >= 0) {
        r.paperWidth = s.box[2] / kPointsPerInch;
        r.paperLength = s.box[3] / kPointsPerInch;
        out.estimated = true;
    }
    if (colour) {
        Colours(job, s, out);
    } else {
        r.color = 1;
        out.unknown |= QM_FIELD_COLOR;
    }
    return QM_OK;
}

}  // namespace qm::psaccurate

namespace qm::accurate {

int32_t AccuratePOSTSCRIPT(Bytes job, Result& out) { return psaccurate::CountPostScript(job, out); }

}  // namespace qm::accurate
