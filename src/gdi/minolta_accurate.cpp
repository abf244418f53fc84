// The walk of Minolta's GDI block stream, for both drivers that write it:
// blocks read one by one, each checked by its checksum, raster data
// stepped over by the length its block states. A page is a page start and
// its raster blocks, counted when the next page start, the eject block or
// the end block shows it whole. m2300w's page start states how many raster
// blocks follow (eight per plane) and the page's copies and duplex; its
// raster blocks name their plane (0 black, 1 cyan, 2 magenta, 3 yellow).
// The driver sends the colour planes only for a page with a dot on them
// (it falls back to black alone otherwise), so a page is colour when it
// sends one. min12xxw prints black only, one copy, one side.
#include "gdi/minolta.h"

#include <algorithm>

namespace qm::gdi {
namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint32_t kHeader = 6;         // ESC, type, sequence, length (2), complement
constexpr uint16_t kRasterLength = 6;   // the stated data length (4) and rows (2); m2300w adds plane and block
constexpr uint32_t kPlane = 4;          // in m2300w's raster block
constexpr uint32_t kCopies = 1, kBlocks = 10, kPaper = 15, kCustomWidth = 16, kCustomLength = 18, kDuplex = 21;
constexpr uint8_t kCustomPaper = 0x31;  // m2300w: its size in mm follows; min12xxw: one code for several sizes

bool Known(uint8_t type) noexcept {
    return type == kMinoltaStart || type == kMinoltaEnd || type == kMinoltaResolution || type == kMinoltaPage ||
           type == kMinoltaRaster || type == kMinoltaEject;
}

struct Paper {
    uint8_t code;
    double width, length;
};
// The paper codes both drivers send (format.txt of min12xxw, m2300w's table).
constexpr Paper kPapers[] = {
    {0x04, 8.27, 11.69}, {0x06, 7.17, 10.12}, {0x08, 5.83, 8.27}, {0x19, 8.5, 14.0},  {0x1A, 8.5, 13.0},
    {0x1B, 8.5, 11.0},   {0x1D, 8.0, 10.5},   {0x1F, 7.25, 10.5}, {0x21, 5.5, 8.5},   {0x24, 3.875, 7.5},
    {0x25, 4.125, 9.5},  {0x26, 4.33, 8.66},  {0x27, 6.38, 9.02}, {0x28, 4.49, 6.38}, {0x29, 6.93, 9.84},
};

struct Walk {
    const MinoltaFamily* family = nullptr;
    accurate::Result* out = nullptr;
    uint32_t pages = 0, stated = 0, sent = 0, copies = 1;
    bool inPage = false, colour = false, duplex = false, broken = false;
    accurate::Page page;

    void EndPage() {
        if (!inPage) return;
        inPage = false;
        // A page of another number of blocks than its start states is not
        // a page this walk knows.
        if (family->planes && sent != stated) {
            broken = true;
            return;
        }
        page.color = colour ? QM_PAGE_COLOR : QM_PAGE_MONO;
        out->pages.Add(page);
        if (++pages == 1) out->rec.paperWidth = page.paperWidth, out->rec.paperLength = page.paperLength;
    }
    void StartPage(Bytes b, const MinoltaBlock& k) {
        EndPage();
        if (k.length != family->pageLength) {
            broken = true;
            return;
        }
        inPage = true;
        colour = false;
        sent = 0;
        page = accurate::Page{};
        const uint8_t code = b[k.body + kPaper];
        for (const Paper& p : kPapers) {
            if (p.code == code) page.paperWidth = p.width, page.paperLength = p.length;
        }
        if (!family->planes) return;
        if (code == kCustomPaper) {
            page.paperWidth = b.le16(k.body + kCustomWidth) / 25.4;
            page.paperLength = b.le16(k.body + kCustomLength) / 25.4;
        }
        stated = b.le16(k.body + kBlocks);
        if (pages == 0) copies = b[k.body + kCopies], duplex = (b[k.body + kDuplex] & 0x80) != 0;
    }
    void Raster(Bytes b, const MinoltaBlock& k) {
        const uint16_t want = family->planes ? kRasterLength + 2 : kRasterLength;
        if (!inPage || k.length != want) {
            broken = true;
            return;
        }
        ++sent;
        if (!family->planes) return;
        const uint8_t plane = b[k.body + kPlane];
        if (plane > 3) broken = true;
        colour = colour || plane != 0;
    }
};

}  // namespace

MinoltaRead ReadMinoltaBlock(Bytes b, uint32_t at, MinoltaBlock& k) noexcept {
    k = MinoltaBlock{};
    if (!b.has(at)) return MinoltaRead::Cut;
    if (b[at] != kEsc) return MinoltaRead::Invalid;
    if (!b.has(at, kHeader)) return MinoltaRead::Cut;
    k.type = b[at + 1];
    if (!Known(k.type) || b[at + 5] != uint8_t(~k.type)) return MinoltaRead::Invalid;
    k.length = b.le16(at + 3);
    k.body = at + kHeader;
    if (!b.has(k.body, uint32_t{k.length} + 1)) return MinoltaRead::Cut;
    uint8_t sum = 0;
    for (uint32_t i = at; i < k.body + k.length; ++i) sum = uint8_t(sum + b[i]);
    if (sum != b[k.body + k.length]) return MinoltaRead::Invalid;
    uint64_t next = uint64_t{k.body} + k.length + 1;
    if (k.type == kMinoltaRaster) {
        if (k.length < kRasterLength) return MinoltaRead::Invalid;
        next += b.le32(k.body);
    }
    if (next > b.size) return MinoltaRead::Cut;
    k.next = uint32_t(next);
    return MinoltaRead::Ok;
}

bool OpensMinolta(Bytes body, const MinoltaFamily& f) noexcept {
    // ESC 0x40, any sequence number, length 2, the complement, then the model.
    if (!body.has(0, kHeader + 1) || body[0] != kEsc || body[1] != kMinoltaStart || body.le16(3) != 2 ||
        body[5] != uint8_t(~kMinoltaStart)) {
        return false;
    }
    const uint8_t model = body[kHeader];
    return model != 0 && std::find(f.models.begin(), f.models.end(), model) != f.models.end();
}

int32_t CountMinolta(Bytes job, accurate::Result& out, const MinoltaFamily& f) {
    char pjl[32], ejl[32];
    const accurate::BidInput in = accurate::Unwrap(job, pjl, ejl);
    const Bytes body{job.data + in.body, job.size - in.body};
    if (!OpensMinolta(body, f)) return QM_E_NOT_UNDERSTOOD;
    Walk w;
    w.family = &f;
    w.out = &out;
    bool ended = false;
    for (uint32_t at = 0; at < body.size && !w.broken && !ended;) {
        MinoltaBlock k;
        if (ReadMinoltaBlock(body, at, k) != MinoltaRead::Ok) break;
        if (k.type == kMinoltaStart && at != 0) break;  // another job's start
        if (k.type == kMinoltaPage) w.StartPage(body, k);
        if (k.type == kMinoltaRaster) w.Raster(body, k);
        if (k.type == kMinoltaEject) w.EndPage();
        if (k.type == kMinoltaEnd) {
            w.EndPage();
            ended = true;
        }
        at = k.next;
    }
    if (w.broken || w.pages == 0) return QM_E_NOT_UNDERSTOOD;
    out.rec.pages = w.pages;
    out.rec.copies = w.copies > 0 ? w.copies : 1;
    out.rec.duplex = w.duplex;
    out.estimated = !ended;
    return QM_OK;
}

}  // namespace qm::gdi

namespace qm::accurate {
int32_t AccuratePageProGDI(Bytes job, Result& out) { return gdi::CountMinolta(job, out, gdi::kPageProGdi); }
int32_t AccurateM2300W(Bytes job, Result& out) { return gdi::CountMinolta(job, out, gdi::kM2300w); }
}  // namespace qm::accurate
