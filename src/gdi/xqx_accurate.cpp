// The XQX walk: records stepped over by their stated counts, pages counted at
// their end records, each page's colour from the planes it sends.
//
// foo2xqx sends a page's cyan, magenta and yellow planes only when the page
// has a dot on one of them; a page of black alone sends its black plane
// alone. A plane is split into JBIG records of at most 64 KiB, each behind a
// plane start of its own; only a plane's first start carries the JBIG
// header (BIH) item, so the BIH items of a page are its planes.
//
// Manual duplex: fronts come first, then the backs in reverse order, each
// page start with a duplex-pause item (0 and 1 fronts, 2 and 3 backs). When
// the page count is odd the driver adds a blank back side, and in doing so
// writes the type of the first back's page start as 2 (the document end
// type); such a record still carries its page's items and planes, so a
// type-2 record with items is read as the page start it is.
#include "gdi/xqx.h"

#include "hostbased/hostbased_accurate.h"

namespace qm::gdi {
namespace {

constexpr uint32_t kRecordHeader = 8;  // type, count
constexpr uint32_t kItemHeader = 8;    // type, size
constexpr uint32_t kMaxItems = 64;     // foo2xqx writes at most 16 a record
constexpr uint32_t kMaxItemSize = 256; // the largest item is the 20-byte BIH

enum Item : uint32_t {
    kDocDuplex = 0x10000002,
    kPaper = 0x20000001,
    kCopies = 0x20000005,
    kDuplexPause = 0x20000012,  // 0, 1 front; 2, 3 back
    kBih = 0x40000002,
};

bool HasItems(uint32_t type, uint32_t count) noexcept {
    switch (static_cast<XqxRecord>(type)) {
        case XqxRecord::StartDoc: case XqxRecord::StartPage: case XqxRecord::StartPlane: return true;
        case XqxRecord::EndDoc: return count > 0;  // a page start the duplex pass overwrote
        default: return false;
    }
}

// Calls f(type, offset of value, size) for each of `count` items from `at`;
// the offset after them, or 0 when they do not fit or do not parse.
template <typename F>
uint32_t ForEachItem(Bytes b, uint32_t at, uint32_t count, F&& f) noexcept {
    for (uint32_t i = 0; i < count; ++i) {
        if (!b.has(at, kItemHeader)) return 0;
        const uint32_t size = b.be32(at + 4);
        if (size > kMaxItemSize || size > b.left(at + kItemHeader)) return 0;
        f(b.be32(at), at + kItemHeader, size);
        at += kItemHeader + size;
    }
    return at;
}

uint32_t Value(Bytes b, uint32_t at, uint32_t size) noexcept { return size >= 4 ? b.be32(at) : 0; }

struct Walk {
    uint32_t pages = 0, copies = 0, paper = 0, planes = 0, pause = 0;
    bool duplex = false, inPage = false, hasPause = false, ended = false;
    accurate::Result* out = nullptr;

    void StartPage(Bytes b, uint32_t items, uint32_t count) {
        inPage = true;
        planes = 0;
        hasPause = false;
        ForEachItem(b, items, count, [&](uint32_t type, uint32_t at, uint32_t size) {
            if (type == kCopies) copies = Value(b, at, size);
            if (type == kPaper) paper = Value(b, at, size);
            if (type == kDuplexPause) {
                pause = Value(b, at, size);
                hasPause = true;
            }
        });
    }
    void EndPage() {
        if (!inPage) return;
        inPage = false;
        ++pages;
        accurate::Page p;
        p.color = planes > 1 ? QM_PAGE_COLOR : QM_PAGE_MONO;
        if (hasPause && duplex) p.side = pause >= 2 ? QM_SIDE_BACK : QM_SIDE_FRONT;
        accurate::WindowsPaper(paper, p.paperWidth, p.paperLength);
        out->pages.Add(p);
        if (pages == 1) {
            out->rec.paperWidth = p.paperWidth;
            out->rec.paperLength = p.paperLength;
        }
    }
};

}  // namespace

XqxStep ReadXqxRecord(Bytes b, uint32_t at) noexcept {
    XqxStep s;
    if (!b.has(at, kRecordHeader)) {
        s.cut = true;
        return s;
    }
    s.type = b.be32(at);
    s.count = b.be32(at + 4);
    const uint32_t body = at + kRecordHeader;
    if (s.type < uint32_t(XqxRecord::StartDoc) || s.type > uint32_t(XqxRecord::Jbig)) return s;
    if (s.type == uint32_t(XqxRecord::Jbig)) {
        if (s.count > b.left(body)) {
            s.cut = true;
            return s;
        }
        s.next = body + s.count;
    } else if (HasItems(s.type, s.count)) {
        if (s.count > kMaxItems) return s;
        s.next = ForEachItem(b, body, s.count, [](uint32_t, uint32_t, uint32_t) {});
        if (s.next == 0) {
            s.cut = uint64_t{s.count} * kItemHeader > b.left(body);
            return s;
        }
    } else {
        if (s.count != 0) return s;  // page and plane ends carry nothing
        s.next = body;
    }
    s.ok = true;
    return s;
}

int32_t CountXqx(Bytes job, accurate::Result& out) {
    char pjl[32], ejl[32];
    const uint32_t body = accurate::Unwrap(job, pjl, ejl).body;
    if (!job.matches(body, ",XQX")) return QM_E_NOT_UNDERSTOOD;
    Walk w;
    w.out = &out;
    uint32_t at = body + kXqxSignature;
    while (!w.ended) {
        const XqxStep s = ReadXqxRecord(job, at);
        if (!s.ok) break;
        const uint32_t items = at + kRecordHeader;
        switch (static_cast<XqxRecord>(s.type)) {
            case XqxRecord::StartDoc:
                ForEachItem(job, items, s.count, [&](uint32_t type, uint32_t v, uint32_t size) {
                    if (type == kDocDuplex) w.duplex = Value(job, v, size) != 0;
                });
                break;
            case XqxRecord::EndDoc:
                if (s.count == 0) {
                    w.ended = true;
                    break;
                }
                [[fallthrough]];
            case XqxRecord::StartPage:
                w.StartPage(job, items, s.count);
                break;
            case XqxRecord::StartPlane:
                ForEachItem(job, items, s.count, [&](uint32_t type, uint32_t, uint32_t) {
                    if (type == kBih) ++w.planes;
                });
                break;
            case XqxRecord::EndPage:
                w.EndPage();
                break;
            default:
                break;
        }
        at = s.next;
    }
    if (w.pages == 0) return QM_E_NOT_UNDERSTOOD;
    out.rec.pages = w.pages;
    out.rec.copies = w.copies;
    out.rec.duplex = w.duplex;
    out.estimated = !w.ended;
    return QM_OK;
}

}  // namespace qm::gdi

namespace qm::accurate {
int32_t AccurateXQX(Bytes job, Result& out) { return gdi::CountXqx(job, out); }
}  // namespace qm::accurate
