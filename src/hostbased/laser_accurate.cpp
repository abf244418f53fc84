// Record walks of the host-based laser streams (ZjStream, OAKT, HIPERC). Each
// walk steps from header to header by the declared lengths and stops where
// the structure breaks: what was read before stands, marked as estimated. A
// page is counted at its end record, so a job cut inside a page does not
// count that page. Colour is decided per page from the planes the page sends.
#include <string_view>

#include "hostbased/hostbased_accurate.h"
#include "pcl/pjl.h"

namespace qm::accurate {
namespace {

// ---------------------------------------------------------------- ZjStream

constexpr uint32_t kZjsFileHeader = 4;  // "JZJZ"
constexpr uint32_t kZjsChunkHeader = 16;  // size, type, items, reserved word, "ZZ"
constexpr uint32_t kZjsItemHeader = 8;    // size, item, type, parameter
constexpr uint16_t kZjsSignature = 0x5A5A;
constexpr uint8_t kZjsUint32Item = 1;

enum ZjsChunk : uint32_t { kZjsStartDoc = 0, kZjsEndDoc = 1, kZjsStartPage = 2, kZjsEndPage = 3 };
enum ZjsItem : uint16_t { kZjsDuplex = 2, kZjsPaper = 3, kZjsCopies = 4, kZjsPlanes = 7 };

struct ZjsState {
    uint32_t pages = 0, copies = 0, paperCode = 0;
    bool duplex = false, pageColour = false;
};

// The 32-bit items of a document or page chunk, up to the chunk's end.
void ReadZjsItems(const Bytes& job, uint32_t chunk, uint32_t chunkEnd, uint32_t type, ZjsState& s) {
    uint32_t item = chunk + kZjsChunkHeader;
    while (item < chunkEnd && job.has(item, kZjsItemHeader)) {
        const uint32_t size = job.be32(item);
        if (size < kZjsItemHeader || size > chunkEnd - item) return;  // not an item: the chunk's items end
        if (job[item + 6] == kZjsUint32Item && size >= kZjsItemHeader + 4) {
            const uint32_t value = job.be32(item + kZjsItemHeader);
            switch (job.be16(item + 4)) {
                case kZjsDuplex:
                    if (type == kZjsStartDoc) s.duplex = value > 1;  // 1 is DMDUPLEX_OFF
                    break;
                case kZjsPaper:
                    if (type == kZjsStartPage) s.paperCode = value;
                    break;
                case kZjsCopies:
                    if (type == kZjsStartPage) s.copies = value;
                    break;
                case kZjsPlanes:
                    if (type == kZjsStartPage) s.pageColour = value > 1;
                    break;
                default:
                    break;
            }
        }
        item += size;
    }
}

// ---------------------------------------------------------------- Tally

// A sheet by its code in a table of codes.
struct PaperRow {
    uint32_t code;
    double width, length;
};

template <size_t N>
bool FindPaper(const PaperRow (&rows)[N], uint32_t code, double& width, double& length) noexcept {
    for (const PaperRow& r : rows) {
        if (r.code == code) {
            width = r.width;
            length = r.length;
            return true;
        }
    }
    return false;
}

// foo2slx's chunks share ZjStream's layout behind their own file header and
// signature; a page chunk's items name its sheet.
constexpr uint16_t kTallySignature = 0xA5A5;
enum TallyItem : uint16_t { kTallyPaper = 0x100, kTallyResX = 0x105, kTallyResY = 0x106, kTallyCustomX = 0x10B, kTallyCustomY = 0x10C };
constexpr uint32_t kTallyCustomPaper = 255;  // the sheet is the custom width and length, in dots

// The sheets of foo2slx's paper codes (its own numbering, not Windows').
bool TallyPaperSize(uint32_t code, double& width, double& length) {
    static constexpr PaperRow kRows[] = {
        {2, 8.27, 11.69},  {4, 7.17, 10.12},  {5, 6.93, 9.84},  {6, 8.5, 11.0},   {8, 7.25, 10.5},  {9, 8.5, 14.0},
        {10, 4.125, 9.5},  {11, 4.33, 8.66},  {13, 5.83, 8.27}, {28, 6.38, 9.02}, {34, 6.93, 9.84}, {37, 3.875, 7.5},
    };
    return FindPaper(kRows, code, width, length);
}

// ---------------------------------------------------------------- OAKT

constexpr uint32_t kOaktHeader = 12;  // "OAKT", length, type (little-endian)
enum OaktRecord : uint32_t {
    kOaktJobDuplex = 0x0F,
    kOaktEndPage = 0x18,
    kOaktDriver = 0x1F,  // the driver's name: written for the KM-1635 only
    kOaktCopies = 0x2A,  // copies, duplex
    kOaktPaper = 0x2B,   // Windows paper code, width and length in dots
    kOaktImageColour = 0x32,  // a page's image header, four planes
    kOaktImageMono = 0x33,    // a page's image header, one plane
    kOaktImageData = 0x3C,
};
constexpr uint32_t kOaktDataSize = 32;    // length of the coded data after the record
constexpr uint32_t kOaktDataPadded = 36;  // padded length of the data after the record
constexpr uint32_t kOaktDataPlane = 48;   // 0, 1, 2 colour; 3 black
constexpr uint32_t kOaktBlackPlane = 3;

// ---------------------------------------------------------------- HIPERC

constexpr uint32_t kHipercRecordHeader = 8;  // length (the whole record), type; big-endian
enum HipercRecord : uint32_t { kHipercPlaneStart = 0, kHipercBand = 1, kHipercEndPage = 255 };
constexpr uint32_t kHipercStartPlaneAt = 13;  // in a plane's start record
constexpr uint32_t kHipercBandPlaneAt = 12;   // in a band record
constexpr uint8_t kHipercBlackPlane = 3;      // 0, 1, 2 are cyan, magenta, yellow

constexpr std::string_view kUel = "\x1b%-12345X";

bool IsColourPlane(uint32_t plane, uint32_t black) { return plane < black; }

// Whether the coded band at `data` (`size` bytes) is blank. foo2oak sends
// every plane of every band in a colour job; a band with no dot codes to
// nothing but the end-of-stripe marker (FF 02), while any dot makes coded
// bytes before it.
bool BlankOaktBand(const Bytes& job, uint32_t data, uint32_t size) {
    if (size == 0) return true;
    return size == 2 && job.has(data, 2) && job[data] == 0xFF && job[data + 1] == 0x02;
}


void SetPages(Result& out, uint32_t pages, bool broken) {
    out.rec.pages = pages;
    if (broken) out.estimated = true;
}

}  // namespace

bool WindowsPaper(uint32_t code, double& width, double& length) noexcept {
    static constexpr PaperRow kRows[] = {
        {1, 8.5, 11.0},     {2, 8.5, 11.0},    {3, 11.0, 17.0},   {4, 17.0, 11.0},  {5, 8.5, 14.0},
        {6, 5.5, 8.5},      {7, 7.25, 10.5},   {8, 11.69, 16.54}, {9, 8.27, 11.69}, {10, 8.27, 11.69},
        {11, 5.83, 8.27},   {12, 9.84, 13.9},  {13, 7.17, 10.12}, {14, 8.5, 13.0},  {20, 4.125, 9.5},
        {27, 4.33, 8.66},   {28, 6.38, 9.02},  {37, 3.875, 7.5},  {70, 4.13, 5.83},
    };
    return FindPaper(kRows, code, width, length);
}

int32_t CountZjStream(Bytes job, Result& out) {
    // Through a spooler the stream comes behind PJL lines (JOB, SET, INFO,
    // USTATUS) and a UEL; the stream's own items say what they set.
    PjlSettings pjl;
    const uint32_t body = ReadPjlHeader(job, 0, pjl);
    job = Bytes(job.data + body, job.size - body);
    if (!job.matches(0, "JZJZ")) return QM_E_NOT_UNDERSTOOD;
    ZjsState s;
    bool broken = false;
    uint32_t at = kZjsFileHeader;
    while (at < job.size) {
        if (!job.has(at, kZjsChunkHeader) || job.be16(at + 14) != kZjsSignature) {
            broken = true;
            break;
        }
        const uint32_t size = job.be32(at);
        const uint32_t type = job.be32(at + 4);
        if (size < kZjsChunkHeader) {
            broken = true;
            break;
        }
        const uint32_t end = job.left(at) >= size ? at + size : job.size;
        if (type == kZjsStartDoc || type == kZjsStartPage) {
            if (type == kZjsStartPage) s.pageColour = false;
            ReadZjsItems(job, at, end, type, s);
        } else if (type == kZjsEndPage) {
            ++s.pages;
            double width = 0.0, length = 0.0;
            WindowsPaper(s.paperCode, width, length);
            LogPage(out, s.pageColour, width, length);
        } else if (type == kZjsEndDoc) {
            at = end;
            break;
        }
        if (job.left(at) < size) {
            broken = true;  // the chunk runs past the end of the job
            break;
        }
        at += size;
    }
    if (s.pages == 0) return QM_E_NOT_UNDERSTOOD;
    SetPages(out, s.pages, broken);
    out.rec.copies = s.copies;
    out.rec.duplex = s.duplex;
    WindowsPaper(s.paperCode, out.rec.paperWidth, out.rec.paperLength);
    return QM_OK;
}

bool ReadTallyPaper(Bytes job, double& width, double& length) {
    if (job.size < kZjsFileHeader || !job.matches(0, "\xA5SL")) return false;
    bool known = false;
    uint32_t at = kZjsFileHeader;
    while (job.has(at, kZjsChunkHeader) && job.be16(at + 14) == kTallySignature) {
        const uint32_t size = job.be32(at);
        if (size < kZjsChunkHeader) break;
        const uint32_t end = job.left(at) >= size ? at + size : job.size;
        if (job.be32(at + 4) == kZjsStartPage) {
            uint32_t code = 0, resX = 0, resY = 0, customX = 0, customY = 0;
            for (uint32_t item = at + kZjsChunkHeader; item < end && job.has(item, kZjsItemHeader + 4);) {
                const uint32_t itemSize = job.be32(item);
                if (itemSize < kZjsItemHeader + 4 || itemSize > end - item) break;
                const uint32_t value = job.be32(item + kZjsItemHeader);
                switch (job.be16(item + 4)) {
                    case kTallyPaper: code = value; break;
                    case kTallyResX: resX = value; break;
                    case kTallyResY: resY = value; break;
                    case kTallyCustomX: customX = value; break;
                    case kTallyCustomY: customY = value; break;
                    default: break;
                }
                item += itemSize;
            }
            // The last page's sheet stands for the job, as its other settings do.
            known = TallyPaperSize(code, width, length);
            if (code == kTallyCustomPaper && resX != 0 && resY != 0 && customX != 0 && customY != 0) {
                width = double(customX) / resX;
                length = double(customY) / resY;
                known = true;
            }
        }
        if (job.left(at) < size) break;
        at += size;
    }
    return known;
}

int32_t CountOakt(Bytes job, Result& out) {
    uint32_t pages = 0, copies = 0;
    bool duplex = false, pageColour = false, broken = false;
    // The Kyocera KM-1635 is a monochrome printer: foo2oak opens its jobs
    // with a driver record, sends its one-plane pages as plane 0, and states
    // a custom sheet in 1/600 inch.
    bool monoModel = false, onePlane = false;
    double width = 0.0, length = 0.0;
    uint32_t at = 0;
    while (at < job.size) {
        if (!job.has(at, kOaktHeader) || !job.matches(at, "OAKT")) {
            broken = true;
            break;
        }
        const uint32_t length32 = job.le32(at + 4);
        const uint32_t type = job.le32(at + 8);
        if (length32 < kOaktHeader || !job.has(at, length32)) {
            broken = true;
            break;
        }
        uint64_t step = length32;
        switch (type) {
            case kOaktJobDuplex:
                if (length32 >= kOaktHeader + 4 && job.le32(at + kOaktHeader) != 0) duplex = true;
                break;
            case kOaktCopies:
                if (length32 >= kOaktHeader + 8) {
                    copies = job.le32(at + kOaktHeader);
                    if (job.le32(at + kOaktHeader + 4) != 0) duplex = true;
                }
                break;
            case kOaktPaper:
                if (length32 >= kOaktHeader + 12) {
                    // The code is Windows' paper code (foo2oak writes DMPAPER_A3 for A3).
                    width = length = 0.0;
                    if (!WindowsPaper(job.le32(at + kOaktHeader), width, length)) {  // a custom size: the sheet in dots
                        const double dpi = monoModel ? 600.0 : 1200.0;
                        width = job.le32(at + kOaktHeader + 4) / dpi;
                        length = job.le32(at + kOaktHeader + 8) / dpi;
                    }
                }
                break;
            case kOaktDriver:
                monoModel = true;
                break;
            case kOaktImageColour:
            case kOaktImageMono:
                onePlane = type == kOaktImageMono;
                break;
            case kOaktImageData:
                if (length32 >= kOaktDataPlane + 4) {
                    step += job.le32(at + kOaktDataPadded);
                    if (!(monoModel && onePlane) && IsColourPlane(job.le32(at + kOaktDataPlane), kOaktBlackPlane) &&
                        !BlankOaktBand(job, at + length32, job.le32(at + kOaktDataSize)))
                        pageColour = true;
                }
                break;
            case kOaktEndPage:
                ++pages;
                LogPage(out, pageColour, width, length);
                pageColour = false;
                break;
            default:
                break;
        }
        if (step > job.left(at)) {
            broken = true;  // the image data runs past the end of the job
            break;
        }
        at += static_cast<uint32_t>(step);
    }
    if (pages == 0) return QM_E_NOT_UNDERSTOOD;
    SetPages(out, pages, broken);
    out.rec.copies = copies;
    out.rec.duplex = duplex;
    out.rec.paperWidth = width;
    out.rec.paperLength = length;
    return QM_OK;
}

int32_t CountHiperc(Bytes job, Result& out) {
    PjlSettings pjl;
    uint32_t at = ReadPjlHeader(job, 0, pjl);
    if (!pjl.entered) return QM_E_NOT_UNDERSTOOD;
    uint32_t pages = 0;
    bool pageColour = false, broken = false;
    // Records run up to the UEL that closes the job.
    while (at < job.size && !job.matches(at, kUel)) {
        if (!job.has(at, kHipercRecordHeader)) {
            broken = true;
            break;
        }
        const uint32_t length = job.be32(at);
        const uint32_t type = job.be32(at + 4);
        if (length < kHipercRecordHeader || !job.has(at, length)) {
            broken = true;
            break;
        }
        if (type == kHipercPlaneStart && length > kHipercStartPlaneAt) {
            if (IsColourPlane(job[at + kHipercStartPlaneAt], kHipercBlackPlane)) pageColour = true;
        } else if (type == kHipercBand && length > kHipercBandPlaneAt) {
            if (IsColourPlane(job[at + kHipercBandPlaneAt], kHipercBlackPlane)) pageColour = true;
        } else if (type == kHipercEndPage) {
            ++pages;
            LogPage(out, pageColour);
            pageColour = false;
        }
        at += length;
    }
    if (pages == 0) return QM_E_NOT_UNDERSTOOD;
    SetPages(out, pages, broken);
    out.rec.copies = pjl.Copies();
    out.rec.duplex = pjl.duplex == PjlDuplex::On;
    out.rec.paperWidth = pjl.paperWidth;
    out.rec.paperLength = pjl.paperLength;
    return QM_OK;
}

}  // namespace qm::accurate
