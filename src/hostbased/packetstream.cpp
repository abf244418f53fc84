// Length-prefixed packet and record streams: HP PPA and LIDIL packets, Canon
// CAPT records and Fuji photo records. Each walk steps from header to header
// by the declared lengths and never looks at the bodies in between, so its
// cost follows the number of records, not the bytes they carry.
#include "api/scanners.h"

namespace qm {
namespace {

constexpr uint8_t kPacketLead = '$';

// The byte `off` bytes after i, or -1 when it lies outside the data. The sum
// is never formed unless it is inside the data, so it cannot wrap.
int Peek(const Bytes& job, uint32_t i, uint32_t off) { return job.has(i, off + 1) ? job[i + off] : -1; }

// ---------------------------------------------------------------- PPA

constexpr uint32_t kPpaHeader = 4;  // "$", channel, u16 BE payload length

// A page packet: its payload opens with one of two types, and two bytes
// further on carry 0x02 0x01. The test reads the stream at fixed offsets from
// the "$", whatever the payload length says.
struct PpaPageMark {
    uint8_t type0, type1;
    uint32_t markOffset;  // from the "$"
};
constexpr PpaPageMark kPpaPageMarks[] = {
    {0x00, 0x13, kPpaHeader + 8},
    {0x01, 0x81, kPpaHeader + 16},
};

bool IsPpaPage(const Bytes& job, uint32_t i) {
    for (const PpaPageMark& m : kPpaPageMarks) {
        if (Peek(job, i, kPpaHeader) == m.type0 && Peek(job, i, kPpaHeader + 1) == m.type1 &&
            job.has(i, m.markOffset + 2) && job[i + m.markOffset] == 0x02 && job[i + m.markOffset + 1] == 0x01)
            return true;
    }
    return false;
}

// ---------------------------------------------------------------- LIDIL

constexpr uint32_t kLidilTypeOffset = 4;
constexpr uint32_t kLidilCommandOffset = 5;
constexpr uint32_t kLidilDataLengthOffset = 8;
constexpr uint32_t kLidilWidthOffset = 17;
constexpr uint32_t kLidilLengthOffset = 21;
constexpr uint8_t kLidilDataType = 7;
constexpr uint8_t kLidilStartPage = 1;
constexpr uint8_t kLidilDataCommand = 4;
constexpr double kLidilInchPerUnit = 0.0004166666666666667;  // 1/2400
constexpr int kLidilLengthMargin = 600;

// ---------------------------------------------------------------- CAPT

constexpr uint8_t kCaptJobSettings = 1;
constexpr uint8_t kCaptPage = 2;
constexpr uint32_t kCaptLengthOffset = 2;
constexpr uint32_t kCaptPaperOffset = 4;
constexpr uint32_t kCaptCopiesOffset = 8;

struct CaptPaper {
    uint8_t code;
    double width;
    double length;
};
constexpr CaptPaper kCaptPapers[] = {
    {1, 8.5, 11.0},     // Letter
    {5, 8.5, 14.0},     // Legal
    {7, 7.25, 10.5},    // Executive
    {9, 8.27, 11.69},   // A4
    {13, 7.17, 10.12},  // B5
    {20, 4.125, 9.5},   // Com10 envelope
    {27, 6.38, 9.02},   // C5 envelope
    {28, 4.33, 8.66},   // DL envelope
    {37, 3.875, 7.5},   // Monarch envelope
};

// ---------------------------------------------------------------- Fuji

constexpr char kFujiSignature[] = "INFO";
constexpr uint32_t kFujiSignatureLength = 4;
constexpr uint32_t kFujiCopiesOffset = 50;
constexpr uint32_t kFujiSizeOffset = 62;
constexpr uint32_t kFujiModeOffset = 63;
constexpr uint32_t kFujiHeaderLength = kFujiModeOffset + 1;

// One row per size code and mode (row = code * 2 + mode). A row without a
// record length is a print size this counter cannot step over.
struct FujiSize {
    double width;
    double length;
    uint32_t recordLength;
};
constexpr FujiSize kFujiSizes[40] = {
    {0.0, 0.0, 0},           {0.0, 0.0, 0},             // 0
    {0.0, 0.0, 0},           {8.27, 11.69, 10276407},   // 1
    {0.0, 0.0, 0},           {0.0, 0.0, 0},             // 2
    {0.0, 0.0, 0},           {0.0, 0.0, 0},             // 3
    {0.0, 0.0, 0},           {0.0, 0.0, 0},             // 4
    {0.0, 0.0, 0},           {0.0, 0.0, 0},             // 5
    {0.0, 0.0, 0},           {0.0, 0.0, 0},             // 6
    {10.0, 6.0, 31172721},   {10.0, 6.0, 26932881},     // 7
    {8.0, 10.0, 41109846},   {8.0, 10.0, 36340026},     // 8
    {10.0, 12.0, 60996471},  {10.0, 12.0, 55154316},    // 9
    {10.0, 12.0, 76576596},  {10.0, 12.0, 69915216},    // 10
    {0.0, 0.0, 0},           {0.0, 0.0, 0},             // 11
    {0.0, 0.0, 0},           {0.0, 0.0, 0},             // 12
    {0.0, 0.0, 0},           {0.0, 0.0, 0},             // 13
    {0.0, 0.0, 0},           {0.0, 0.0, 0},             // 14
    {8.27, 11.69, 49466193}, {8.27, 11.69, 44152248},   // 15
    {11.69, 16.54, 97116756}, {11.69, 16.54, 89610270}, // 16
    {0.0, 0.0, 0},           {8.27, 11.69, 114477708},  // 17
    {0.0, 0.0, 0},           {12.0, 18.0, 102332814},   // 18
    {0.0, 0.0, 0},           {11.69, 16.54, 105514440}, // 19
};
constexpr uint32_t kFujiRows = sizeof kFujiSizes / sizeof kFujiSizes[0];

}  // namespace

int32_t ScanPPA(Bytes job, uint32_t start, PageCountResult& rec) {
    uint32_t pages = 0;
    uint32_t i = job.find(start, kPacketLead);
    while (i < job.size) {
        const int channel = job.at(i + 1);
        if (channel == 0x00 || channel == 0x01) {
            if (!job.has(i, kPpaHeader)) break;  // no room for the payload length
            if (IsPpaPage(job, i)) ++pages;
            i = SkipBy(job, i, uint64_t{kPpaHeader} + job.be16(i + 2));
        } else {
            ++i;
        }
        i = job.find(i, kPacketLead);
    }
    rec.pages = pages;
    rec.copies = 1;
    rec.color = 1;  // every PPA job is reported as colour
    return QM_OK;
}

int32_t ScanLIDIL(Bytes job, uint32_t start, PageCountResult& rec) {
    uint32_t pages = 0;
    double width = 0.0, length = 0.0;
    uint32_t i = job.find(start, kPacketLead);
    while (i < job.size) {
        if (!job.has(i + 1, 2)) break;  // no room for the packet length
        const uint32_t packetLength = job.be16(i + 1);
        const int type = Peek(job, i, kLidilTypeOffset);
        const int command = Peek(job, i, kLidilCommandOffset);
        if (command == kLidilStartPage) {
            ++pages;
            // The page's paper, when both fields lie inside the data.
            if (job.has(i, kLidilLengthOffset + 2)) {
                width = job.be16(i + kLidilWidthOffset) * kLidilInchPerUnit;
                length = (job.be16(i + kLidilLengthOffset) - kLidilLengthMargin) * kLidilInchPerUnit;
            }
        }
        uint64_t step = packetLength;
        if (type == kLidilDataType || command == kLidilDataCommand) {
            if (!job.has(i, kLidilDataLengthOffset + 2)) break;  // the data block runs past the end
            step += job.be16(i + kLidilDataLengthOffset);
        }
        // A packet that claims no bytes at all is stepped over by its "$"
        // alone, so the walk always moves on.
        if (step == 0) step = 1;
        i = job.find(SkipBy(job, i, step), kPacketLead);
    }
    rec.pages = pages;
    rec.copies = 0;  // LIDIL carries no copy count
    rec.color = 1;
    rec.paperWidth = width;
    rec.paperLength = length;
    return QM_OK;
}

int32_t ScanCanonCAPT(Bytes job, uint32_t start, PageCountResult& rec) {
    uint32_t pages = 0, copies = 0;
    int paperCode = 0;  // not a code of the table
    for (uint32_t i = start; i < job.size;) {
        if (!job.has(i, kCaptLengthOffset + 2)) break;  // header cut short
        const uint8_t type = job[i];
        const uint16_t recordLength = job.le16(i + kCaptLengthOffset);
        if (type == kCaptJobSettings) {
            if (job.has(i, kCaptCopiesOffset + 2)) copies = job.le16(i + kCaptCopiesOffset);
        } else if (type == kCaptPage) {
            ++pages;
            if (job.has(i, kCaptPaperOffset + 1)) paperCode = job[i + kCaptPaperOffset];
        }
        // A record of length 0 gives no way to the next one: the walk ends.
        if (recordLength == 0) break;
        i = SkipBy(job, i, recordLength);
    }
    rec.pages = pages;
    rec.copies = copies;
    for (const CaptPaper& p : kCaptPapers) {
        if (p.code == paperCode) {
            rec.paperWidth = p.width;
            rec.paperLength = p.length;
        }
    }
    return QM_OK;
}

int32_t ScanFijiPhoto(Bytes job, uint32_t start, PageCountResult& rec) {
    uint32_t pages = 0, copies = 1;
    const FujiSize* size = nullptr;
    for (uint32_t at = start; job.left(at) > kFujiSignatureLength;) {
        if (!job.matches(at, {kFujiSignature, kFujiSignatureLength})) break;
        // A header cut before its size code cannot be placed: the walk ends.
        if (!job.has(at, kFujiHeaderLength)) break;
        ++pages;
        copies = job[at + kFujiCopiesOffset];
        const uint32_t row = uint32_t{job[at + kFujiSizeOffset]} * 2 + job[at + kFujiModeOffset];
        // A print size outside the table is as unknown as one without a
        // record length: the job is not one this counter can walk.
        if (row >= kFujiRows || kFujiSizes[row].recordLength == 0) return QM_E_FAIL;
        size = &kFujiSizes[row];
        at = SkipBy(job, at, size->recordLength);
    }
    rec.pages = pages;
    rec.copies = copies;
    rec.color = 1;
    if (size != nullptr) {
        rec.paperWidth = size->width;
        rec.paperLength = size->length;
    }
    return QM_OK;
}

}  // namespace qm
