// The accurate count of PDF jobs: the file's own structure, read whole. The
// cross-reference chain leads to the catalog, the page tree gives the pages,
// the first page its paper, the viewer preferences the copies and duplex, and
// the page content the colour. A file whose cross-reference data is broken is
// rebuilt by scanning (the count is then marked estimated); one that cannot be
// rebuilt gets no count.
#include <cmath>
#include <memory>
#include <unordered_set>

#include "pspdf/pdf_accurate.h"

#include "accurate/accurate.h"
#include "pspdf/pdf_accurate_colour.h"
#include "pspdf/pdf_accurate_decrypt.h"
#include "pspdf/pdf_accurate_document.h"

namespace qm::pdf {
namespace {

using accurate::Result;

constexpr int kMaxTreeDepth = 64;
constexpr int64_t kMaxCopies = 9999;

// A node of the page tree being walked, and what its children inherit.
struct Frame {
    Object node;
    Value kids;       // the node's /Kids, resolved once
    size_t next = 0;  // the next kid to visit
    const Value* resources = nullptr;
    const Value* mediaBox = nullptr;
    const Value* rotate = nullptr;
};

struct Walk {
    uint64_t pages = 0;
    double width = 0, length = 0;  // the first page's paper
};

const Value* Own(const Value& node, std::string_view key, const Value* inherited) {
    const Value* v = node.get(key);
    return v ? v : inherited;
}

// A page's paper: its effective media box in inches, turned when the page is
// shown rotated a quarter turn; 0 x 0 when the box cannot be read.
void Paper(Document& doc, const Value* box, const Value* rotate, double& w, double& l) {
    w = l = 0;
    if (box == nullptr) return;
    Object bh;
    const Value& b = doc.resolve(*box, bh);
    double r[4] = {};
    if (!Numbers(b, r, 4)) return;
    double width = std::fabs(r[2] - r[0]) / 72.0, length = std::fabs(r[3] - r[1]) / 72.0;
    Object rh;
    const Value& turn = rotate ? doc.resolve(*rotate, rh) : NullValue();
    if (turn.kind == Kind::Int) {
        const int64_t quarter = ((turn.integer % 360) + 360) % 360;
        if (quarter == 90 || quarter == 270) std::swap(width, length);
    }
    if (width < 1e-3 || length < 1e-3 || width > 1e4 || length > 1e4) return;
    w = width;
    l = length;
}

// Walks the tree depth-first in page order, logging each page with its own
// paper and, when `colour` is given, its colour. Kids that are null or
// missing are skipped; a node seen before is not walked again.
void WalkTree(Document& doc, const Value& root, ColourCheck* colour, Walk& w, accurate::PageLog& log) {
    std::unordered_set<uint32_t> visited;
    std::vector<std::unique_ptr<Frame>> stack;
    auto push = [&](const Value& ref, const Frame* parent) {
        if (ref.kind == Kind::Ref && !visited.insert(static_cast<uint32_t>(ref.integer)).second) return;
        auto f = std::make_unique<Frame>();
        if (ref.kind == Kind::Ref) {
            f->node = doc.fetch(static_cast<uint32_t>(ref.integer));
        } else {
            f->node.value = ref;
        }
        const Value& node = f->node.value;
        if (node.kind != Kind::Dict) return;
        f->resources = Own(node, "Resources", parent ? parent->resources : nullptr);
        f->mediaBox = Own(node, "MediaBox", parent ? parent->mediaBox : nullptr);
        f->rotate = Own(node, "Rotate", parent ? parent->rotate : nullptr);
        const Value* type = node.get("Type");
        if (node.get("Kids") == nullptr && !(type && type->isName("Pages"))) {
            // A leaf: a page.
            if (++w.pages >= UINT32_MAX) throw Broken("too many pages");
            accurate::Page page;
            Paper(doc, f->mediaBox, f->rotate, page.paperWidth, page.paperLength);
            if (w.pages == 1) {
                w.width = page.paperWidth;
                w.length = page.paperLength;
            }
            page.color = colour ? colour->page(node, f->resources) : QM_PAGE_COLOR_UNKNOWN;
            log.Add(page);
            return;
        }
        if (stack.size() >= kMaxTreeDepth) throw Broken("page tree too deep");
        Object kh;
        f->kids = doc.lookup(node, "Kids", kh);
        stack.push_back(std::move(f));
    };
    push(root, nullptr);
    while (!stack.empty()) {
        Frame& top = *stack.back();
        if (top.kids.kind != Kind::Array || top.next >= top.kids.items.size()) {
            stack.pop_back();
            continue;
        }
        const Value& kid = top.kids.items[top.next++];
        if (kid.kind == Kind::Ref || kid.kind == Kind::Dict) push(kid, &top);
    }
}

// Counts the document whose cross-reference data has been read.
void CountDocument(Document& doc, Result& out, Colour readColour) {
    Object ch, ph;
    const Value& catalog = doc.lookup(doc.trailer(), "Root", ch);
    if (catalog.kind != Kind::Dict) throw Broken("no catalog");
    const Value* pagesRef = catalog.get("Pages");
    if (pagesRef == nullptr) throw Broken("catalog names no page tree");
    const Value& pages = doc.resolve(*pagesRef, ph);
    if (pages.kind != Kind::Dict) throw Broken("no page tree");

    ColourCheck colour(doc);
    Walk w;
    out.pages.Clear();
    WalkTree(doc, *pagesRef, readColour == Colour::Read ? &colour : nullptr, w, out.pages);
    const Value* count = pages.get("Count");
    const bool agree = count && count->kind == Kind::Int && count->integer == static_cast<int64_t>(w.pages);
    if (w.pages == 0 && count && count->kind == Kind::Int && count->integer > 0) {
        throw Broken("the page tree holds none of the pages it counts");
    }
    out.rec.pages = static_cast<uint32_t>(w.pages);
    out.estimated = out.estimated || !agree;
    out.rec.paperWidth = w.width;
    out.rec.paperLength = w.length;

    Object vh;
    const Value& prefs = doc.lookup(catalog, "ViewerPreferences", vh);
    Object nh, dh;
    const Value& copies = doc.lookup(prefs, "NumCopies", nh);
    out.rec.copies = copies.kind == Kind::Int && copies.integer >= 1 && copies.integer <= kMaxCopies
                         ? static_cast<uint32_t>(copies.integer)
                         : 1;
    const Value& duplex = doc.lookup(prefs, "Duplex", dh);
    out.rec.duplex = duplex.isName("DuplexFlipLongEdge") || duplex.isName("DuplexFlipShortEdge");
    // Without a preference the printer's own setting decides.
    if (!duplex.isName("Simplex") && !out.rec.duplex) out.unknown |= QM_FIELD_DUPLEX;
    // Colour when any page prints some; when nothing shows colour but
    // something could not be read, colour is the answer that never
    // undercharges, and it is marked unknown.
    const bool anyColour = out.pages.Count(QM_PAGE_COLOR) > 0;
    const bool unknown = !anyColour && out.pages.Count(QM_PAGE_COLOR_UNKNOWN) > 0;
    out.rec.color = anyColour || unknown;
    if (unknown) out.unknown |= QM_FIELD_COLOR;
}

int32_t CountBytes(Bytes job, Result& out, Colour colour, bool decrypted);

int32_t CountEncrypted(Bytes job, uint32_t header, Result& out, Colour colour) {
    std::string plain;
    const int32_t code = DecryptCopy(Bytes(job.data + header, job.size - header), plain);
    if (code != QM_OK) return code;
    if (plain.size() >= UINT32_MAX) return QM_E_NOT_UNDERSTOOD;
    return CountBytes(Bytes(plain), out, colour, true);
}

int32_t CountBytes(Bytes job, Result& out, Colour colour, bool decrypted) {
    char pjl[32], ejl[32];
    const accurate::BidInput wrapper = accurate::Unwrap(job, pjl, ejl);
    Document doc(job, wrapper.body);
    if (!doc.header()) return QM_E_NOT_UNDERSTOOD;
    try {
        doc.readXref();
    } catch (const Broken&) {
        if (!doc.repair()) return QM_E_NOT_UNDERSTOOD;
    }
    if (doc.trailer().get("Encrypt") != nullptr) {
        if (decrypted) return QM_E_NOT_UNDERSTOOD;
        return CountEncrypted(job, doc.headerOffset(), out, colour);
    }
    for (;;) {
        const Result clean = out;
        try {
            CountDocument(doc, out, colour);
            if (doc.repaired()) out.estimated = true;
            return QM_OK;
        } catch (const Broken&) {
            out = clean;
            if (doc.repaired() || !doc.repair()) return QM_E_NOT_UNDERSTOOD;
            if (doc.trailer().get("Encrypt") != nullptr) {
                return decrypted ? QM_E_NOT_UNDERSTOOD : CountEncrypted(job, doc.headerOffset(), out, colour);
            }
        }
    }
}

}  // namespace

int32_t Count(Bytes job, accurate::Result& out, Colour colour) { return CountBytes(job, out, colour, false); }

}  // namespace qm::pdf

namespace qm::accurate {

int32_t AccuratePDF(Bytes job, Result& out) { return pdf::Count(job, out, pdf::Colour::Read); }

}  // namespace qm::accurate
