// PCL XL pages: a small tokenizer decodes each data value with its attribute
// identifier into an attribute list; at an operator the list is read for the
// few operators that matter for accounting and then cleared. Pages are
// EndPage operators; copies, duplex, colour and paper come from their
// attributes and from PJL lines.
#include <cstring>

#include "api/scanners.h"
#include "jobfile/diag.h"
#include "pcl/pclxl_media.h"
#include "pcl/pjl.h"

namespace qm {
namespace {

constexpr const char* kPjlCommandLine = "sheetler.dll!GetTotalPageCount_PCLXL: PJL command! %X %X\n";
constexpr const char* kPjlCommentLine = "sheetler.dll!GetTotalPageCount_PCLXL: PJL comment! %X %X\n";
constexpr const char* kEscCommandLine = "sheetler.dll!GetTotalPageCount_PCLXL: ESC command! %X %X\n";
constexpr const char* kEndPageLine = "sheetler.dll!GetTotalPageCount_PCLXL: EndPage command! %X %X\n";
constexpr const char* kErrorLine = "sheetler.dll!GetTotalPageCount_PCLXL: Error!%X\n";

constexpr PjlKey kRenderMode{kRenderModeKey, kRenderModeThreshold, PjlAction::ValueTest, PjlFlag::None, 0,
                             {{"COLO", PjlFlag::Colour, kPclXlColourLine}, {"GRAYSCALE", PjlFlag::Grey, kGreyLine}}};
constexpr PjlKey kPclXlKeys[] = {kPjlQty, kPjlCopies, kRenderMode, kPjlDuplexOn, kPjlPlanesInUse1, kPjlOther};

// Data type tags.
constexpr uint8_t kUbyte = 0xC0, kUint16 = 0xC1, kUint32 = 0xC2, kSint16 = 0xC3, kSint32 = 0xC4, kReal32 = 0xC5;
constexpr uint8_t kUbyteXy = 0xD0, kUint16Xy = 0xD1, kSint16Xy = 0xD3, kSint32Xy = 0xD4, kReal32Xy = 0xD5;
constexpr uint8_t kUbyteArray = 0xC8, kReal32Array = 0xCD;
constexpr uint8_t kAttrId16 = 0xF9;
constexpr uint8_t kEmbeddedData = 0xFA, kEmbeddedDataByte = 0xFB;

// Operators and attributes read here.
constexpr uint8_t kBeginPage = 0x43, kEndPage = 0x44, kVendorUnique = 0x46, kSetColorSpace = 0x6A;
constexpr uint8_t kColorSpace = 3, kMediaSize = 37, kOrientation = 40, kCustomMediaSize = 47,
                  kCustomMediaSizeUnits = 48, kPageCopies = 49, kDuplexPageMode = 53, kVuDataLength = 146;
constexpr uint8_t kRgb = 2, kLandscape = 1;

// Behind a 32-bit array tag: a block of another kind, not an array.
constexpr uint8_t kOtherBlock[] = {0xCA, 0x10, 0x00};

constexpr uint32_t kMaxEntries = 20;
constexpr uint32_t kMaxValueBytes = 255;
constexpr uint32_t kReadBytes = 8;  // the most a reader looks at past what was stored

struct Entry {
    uint16_t tag;
    uint32_t elementSize;
    uint32_t count;   // elements; for an array the value bytes stored
    uint32_t stored;  // value bytes held in `value`
    uint8_t value[kMaxValueBytes];
    uint8_t id;
    uint8_t idHigh;
};

// Bytes of one element of a scalar, xy or box value (0: not such a tag).
constexpr uint32_t ElementSize(uint8_t tag) noexcept {
    switch (tag & 0x0F) {
        case 0: return 1;
        case 1: case 3: return 2;
        case 2: case 4: case 5: return 4;
        default: return 0;
    }
}

struct XlScan {
    uint32_t pages = 0;
    uint32_t pageCopies = 0;
    PjlAttributes pjl;
    bool landscape = false;
    int8_t units = 0;
    double a = 0.0, b = 0.0;
    Entry list[kMaxEntries];
    uint32_t entries = 0;
};

void SelectMedia(XlScan& s, const Entry& e) noexcept {
    const int8_t v = static_cast<int8_t>(e.value[0]);
    uint32_t row = 0;
    if (v <= 19) {
        row = (v >= 0 && static_cast<uint32_t>(v) < kXlMediaEnumerations) ? static_cast<uint32_t>(v) : kXlMediaOther;
    } else {
        const uint32_t stored = e.stored;
        for (uint32_t r = 0; r < kXlMediaEnumerations; ++r) {
            const char* name = kXlMedia[r].name;
            if (name == nullptr) continue;
            const size_t n = std::strlen(name);
            if (n <= stored && std::memcmp(e.value, name, n) == 0) {
                row = r;
                break;
            }
        }
    }
    s.a = kXlMedia[row].a;
    s.b = kXlMedia[row].b;
}

void SetCustomSize(XlScan& s, const Entry& e) noexcept {
    const uint8_t* v = e.value;
    switch (e.tag) {
        case kUbyteXy:
            s.a = v[0];
            s.b = v[1];
            break;
        case kUint16Xy:
            s.a = static_cast<uint16_t>(v[0] | (v[1] << 8));
            s.b = static_cast<uint16_t>(v[2] | (v[3] << 8));
            break;
        case kSint16Xy:
            s.a = static_cast<int16_t>(v[0] | (v[1] << 8));
            s.b = static_cast<int16_t>(v[2] | (v[3] << 8));
            break;
        case kReal32Xy: {
            float x, y;
            std::memcpy(&x, v, 4);
            std::memcpy(&y, v + 4, 4);
            s.a = x;
            s.b = y;
            break;
        }
        default: {
            const Bytes b(v, kMaxValueBytes);
            if (e.tag == kSint32Xy) {
                s.a = static_cast<int32_t>(b.le32(0));
                s.b = static_cast<int32_t>(b.le32(4));
            } else {
                s.a = b.le32(0);
                s.b = b.le32(4);
            }
            break;
        }
    }
}

uint32_t CopiesOf(const Entry& e) noexcept {
    if (e.tag == kUbyte) return e.value[0];
    if (e.tag == kUint32) return Bytes(e.value, kMaxValueBytes).le32(0);
    return static_cast<uint32_t>(e.value[0] | (e.value[1] << 8));
}

// Acts on an operator at i; returns the index of the next byte to examine.
uint32_t OnOperator(Bytes job, uint32_t i, XlScan& s) {
    uint32_t next = i + 1;
    const uint8_t op = job[i];
    for (uint32_t k = 0; k < s.entries; ++k) {
        const Entry& e = s.list[k];
        if (op == kBeginPage) {
            if (e.id == kMediaSize) SelectMedia(s, e);
            if (e.id == kOrientation && e.value[0] == kLandscape) s.landscape = true;
            if (e.id == kCustomMediaSize) SetCustomSize(s, e);
            if (e.id == kCustomMediaSizeUnits) s.units = static_cast<int8_t>(e.value[0]);
            if (e.id == kDuplexPageMode) s.pjl.duplex = true;
        } else if (op == kEndPage) {
            if (e.id == kPageCopies && CopiesOf(e) > s.pageCopies) s.pageCopies = CopiesOf(e);
        } else if (op == kVendorUnique) {
            if (e.id == kVuDataLength) {
                s.pjl.colour = true;
                next = SkipBy(job, i, uint64_t{Bytes(e.value, kMaxValueBytes).le32(0)} + 1);
            }
        } else if (op == kSetColorSpace) {
            if (e.id == kColorSpace && e.value[0] == kRgb) s.pjl.colour = true;
        }
    }
    if (op == kEndPage) {
        ++s.pages;
        Debug(kEndPageLine, 0x44, i);
    }
    s.entries = 0;
    return next;
}

// Decodes the value whose tag is at i; returns the index of the next byte
// to examine (job.size ends the scan).
uint32_t OnValue(Bytes job, uint32_t i, XlScan& s) {
    const uint8_t tag = job[i];
    if (tag == kEmbeddedData || tag == kEmbeddedDataByte) {
        const uint32_t width = tag == kEmbeddedData ? 4 : 1;
        if (!job.has(i + 1, width)) return job.size;
        const uint32_t length = tag == kEmbeddedData ? job.le32(i + 1) : job[i + 1];
        s.entries = 0;
        return SkipBy(job, i, uint64_t{1} + width + length);
    }

    uint32_t elementSize = 0, count = 0, valueAt = i + 1;
    if (tag >= kUbyteArray && tag <= kReal32Array) {
        // A block of another kind behind a 32-bit array tag.
        if (tag != kUbyteArray && tag != 0xC9 && tag != 0xCB && job.matches(i + 1, kOtherBlock, sizeof kOtherBlock)) {
            if (!job.has(i + 8, 2)) return job.size;
            return SkipBy(job, i, uint64_t{job.be16(i + 8)} + 20);
        }
        elementSize = (tag == kUbyteArray) ? 1 : (tag == 0xC9 || tag == 0xCB) ? 2 : 4;
        const int lengthTag = job.at(i + 1);
        uint32_t width = 0;
        if (lengthTag == kUbyte) width = 1;
        if (lengthTag == kUint16 || lengthTag == kSint16) width = 2;
        if (lengthTag == kUint32 || lengthTag == kSint32 || lengthTag == kReal32) width = 4;
        if (lengthTag < 0) return job.size;
        if (width == 0) {
            // No length that can be trusted: not a value.
            Debug(kErrorLine, i);
            return i + 1;
        }
        if (!job.has(i + 2, width)) return job.size;
        count = width == 1 ? job[i + 2] : width == 2 ? job.le16(i + 2) : job.le32(i + 2);
        valueAt = i + 2 + width;
    } else if ((tag >= 0xC0 && tag <= 0xC5) || (tag >= 0xD0 && tag <= 0xD5) || (tag >= 0xE0 && tag <= 0xE5)) {
        elementSize = ElementSize(tag);
        count = tag < 0xD0 ? 1 : tag < 0xE0 ? 2 : 4;
    } else {
        Debug(kErrorLine, i);
        return i + 1;
    }

    const uint64_t valueBytes = uint64_t{count} * elementSize;
    const uint64_t idAt = uint64_t{valueAt} + valueBytes;  // the attribute tag
    if (idAt >= job.size) return job.size;
    const uint32_t idWidth = job[static_cast<uint32_t>(idAt)] == kAttrId16 ? 2 : 1;
    if (!job.has(static_cast<uint32_t>(idAt) + 1, idWidth)) return job.size;
    const uint32_t idIndex = static_cast<uint32_t>(idAt) + 1;

    if (s.entries < kMaxEntries) {
        Entry& e = s.list[s.entries++];
        const uint32_t stored = valueBytes < kMaxValueBytes ? static_cast<uint32_t>(valueBytes) : kMaxValueBytes;
        e.tag = tag;
        e.elementSize = elementSize;
        e.count = (tag >= kUbyteArray && tag <= kReal32Array) ? stored : count;
        e.stored = stored;
        // Readers look at up to the first eight bytes whatever was stored:
        // the ones not stored read as zero. Clearing only those keeps a
        // value's cost to its own size.
        std::memcpy(e.value, job.data + valueAt, stored);
        if (stored < kReadBytes) std::memset(e.value + stored, 0, kReadBytes - stored);
        e.id = job[idIndex];
        e.idHigh = idWidth == 2 ? job[idIndex + 1] : 0;
    }
    return SkipBy(job, idIndex, idWidth);
}

}  // namespace

int32_t ScanPCLXL(Bytes job, uint32_t start, PageCountResult& rec) {
    XlScan s;
    uint32_t i = start;
    while (i < job.size) {
        const uint8_t b = job[i];
        if (b >= 0xC0) {
            i = OnValue(job, i, s);
        } else if (b >= 0x41 && b <= 0xBE) {
            i = OnOperator(job, i, s);
        } else if (b == '@') {
            Debug(kPjlCommandLine, 0x40, i);
            MatchPjl(job, i, kPclXlKeys, s.pjl);
            ++i;
        } else if (b == ')') {
            Debug(kPjlCommentLine, 0x29, i);
            i = SkipBy(job, job.find(i, '\n'), 1);  // the stream header line, LF included
        } else {
            if (b == 0x1B) Debug(kEscCommandLine, 0x1B, i);
            ++i;
        }
    }

    double a = s.a, b = s.b;
    if (s.units == 1) {
        a /= 25.4;
        b /= 25.4;
    } else if (s.units == 2) {
        a /= 254.0;
        b /= 254.0;
    }
    rec.paperLength = s.landscape ? b : a;
    rec.paperWidth = s.landscape ? a : b;
    uint32_t copies = s.pageCopies;
    if (static_cast<uint32_t>(s.pjl.quantity) > copies) copies = static_cast<uint32_t>(s.pjl.quantity);
    if (static_cast<uint32_t>(s.pjl.copies) > copies) copies = static_cast<uint32_t>(s.pjl.copies);
    rec.copies = copies;
    rec.pages = s.pages;
    rec.color = s.pjl.grey ? 0 : (s.pjl.colour ? 1 : 0);
    rec.duplex = s.pjl.duplex ? 1 : 0;
    return QM_OK;
}

}  // namespace qm
