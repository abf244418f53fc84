// Chunk streams of host-based laser printers.
//
// ZjStream and Tally share one layout: a 4-byte file header, then chunks of a
// 16-byte big-endian header (size, type, item count, signature word) and a
// body. Document and page chunks carry items with the job's settings; every
// end-of-page chunk is one page. Both streams go through one walk, told apart
// by their header, signature word and item table.
//
// OAKT is a stream of little-endian "OAKT" records that may sit between
// other bytes; the walk searches for the tag and steps over each record.
#include <span>

#include "api/scanners.h"
#include "jobfile/diag.h"

namespace qm {
namespace {

// ---------------------------------------------------------------------------
// ZjStream and Tally

constexpr uint32_t kFileHeaderSize = 4;
constexpr uint32_t kChunkHeaderSize = 16;
constexpr uint32_t kItemHeaderSize = 12;  // size, key, 32-bit value

constexpr uint32_t kChunkStartDoc = 0;
constexpr uint32_t kChunkStartPage = 2;
constexpr uint32_t kChunkEndPage = 3;

enum class ItemEffect : uint8_t {
    DuplexWhenAboveOne,
    DuplexWhenNotZero,
    Copies,
    ColourWhenAboveOne,
    PaperWidth600,   // (value + 238) / 600 inch
    PaperLength600,
};

struct ItemRule {
    uint32_t chunkType;
    uint32_t key;
    ItemEffect effect;
};

struct ChunkStream {
    const char* headerStem;    // first three bytes of the file header
    const char* fourthBytes;   // the accepted fourth bytes
    uint32_t signatureWord;    // offset 12 of every chunk header
    std::span<const ItemRule> rules;
};

constexpr ItemRule kZjsRules[] = {
    {kChunkStartDoc, 0x00020100, ItemEffect::DuplexWhenAboveOne},
    {kChunkStartPage, 0x00040100, ItemEffect::Copies},
    {kChunkStartPage, 0x00070100, ItemEffect::ColourWhenAboveOne},
};

constexpr ItemRule kTallyRules[] = {
    {kChunkStartDoc, 0x00020100, ItemEffect::DuplexWhenNotZero},
    {kChunkStartPage, 0x01010100, ItemEffect::Copies},
    {kChunkStartPage, 0x01040100, ItemEffect::ColourWhenAboveOne},
    {kChunkStartPage, 0x010D0100, ItemEffect::PaperWidth600},
    {kChunkStartPage, 0x010E0100, ItemEffect::PaperLength600},
};

constexpr ChunkStream kZjStream = {"JZJ", "Z", 0x00005A5A, kZjsRules};
constexpr ChunkStream kTally = {"\xA5SL", "2X", 0x0000A5A5, kTallyRules};

// The Tally page edges carry a 238-dot margin at 600 dpi.
constexpr double kTallyMarginDots = 238.0;
constexpr double kPerDot600 = 0.0016666666666666668;

// Both streams send the same line.
constexpr const char* kZjsEndOfPage = "plathorn.dll!GetTotalPageCount_ZJSTREAM: Found End of Page %X\n";

bool HasFileHeader(const Bytes& job, const ChunkStream& s) {
    if (job.size <= kFileHeaderSize || !job.matches(0, s.headerStem)) return false;
    for (const char* c = s.fourthBytes; *c != '\0'; ++c)
        if (job[3] == static_cast<uint8_t>(*c)) return true;
    return false;
}

void ApplyItem(ItemEffect effect, uint32_t value, PageCountResult& rec) {
    switch (effect) {
        case ItemEffect::DuplexWhenAboveOne:
            if (value > 1) rec.duplex = 1;
            break;
        case ItemEffect::DuplexWhenNotZero:
            if (value != 0) rec.duplex = 1;
            break;
        case ItemEffect::Copies:
            rec.copies = value;
            break;
        case ItemEffect::ColourWhenAboveOne:
            if (value > 1) rec.color = 1;
            break;
        case ItemEffect::PaperWidth600:
            rec.paperWidth = (static_cast<double>(value) + kTallyMarginDots) * kPerDot600;
            break;
        case ItemEffect::PaperLength600:
            rec.paperLength = (static_cast<double>(value) + kTallyMarginDots) * kPerDot600;
            break;
    }
}

// Items from chunk offset 16 up to the chunk's declared end. An item whose
// header is cut by the end of the file, or whose size is 0, ends the items of
// this chunk.
void WalkItems(const Bytes& job, const ChunkStream& s, uint32_t chunk, uint32_t type, uint32_t chunkSize,
               PageCountResult& rec) {
    const uint64_t chunkEnd = uint64_t{chunk} + chunkSize;
    uint64_t item = uint64_t{chunk} + kChunkHeaderSize;
    while (item < chunkEnd && item < job.size) {
        const uint32_t at = static_cast<uint32_t>(item);
        if (!job.has(at, kItemHeaderSize)) break;
        const uint32_t itemSize = job.be32(at);
        const uint32_t key = job.be32(at + 4);
        for (const ItemRule& rule : s.rules)
            if (rule.chunkType == type && rule.key == key) ApplyItem(rule.effect, job.be32(at + 8), rec);
        if (itemSize == 0) break;
        item += itemSize;
    }
}

int32_t WalkChunkStream(const Bytes& job, const ChunkStream& s, PageCountResult& rec) {
    if (!HasFileHeader(job, s)) return QM_E_FAIL;
    rec.copies = 1;
    uint32_t pages = 0;
    uint32_t offset = kFileHeaderSize;
    // A chunk is read only when more than a header's worth of bytes remains.
    while (job.left(offset) > kChunkHeaderSize) {
        if (job.be32(offset + 12) != s.signatureWord) {
            offset += kChunkHeaderSize;  // no resynchronising search
            continue;
        }
        const uint32_t chunkSize = job.be32(offset);
        const uint32_t type = job.be32(offset + 4);
        if (type == kChunkStartDoc || type == kChunkStartPage) {
            WalkItems(job, s, offset, type, chunkSize, rec);
        } else if (type == kChunkEndPage) {
            ++pages;
            Debug(kZjsEndOfPage, offset + kChunkHeaderSize);
        }
        if (chunkSize == 0) break;  // a chunk that does not advance ends the data
        offset = SkipBy(job, offset, chunkSize);
    }
    rec.pages = pages;
    return QM_OK;
}

// ---------------------------------------------------------------------------
// OAKT

constexpr uint32_t kOaktHeaderSize = 16;
constexpr uint32_t kOaktEndPage = 20;
constexpr uint32_t kOaktDuplex = 30;
constexpr uint32_t kOaktCopies = 42;
constexpr uint32_t kOaktPaper = 43;
constexpr uint32_t kOaktColour = 50;
constexpr uint32_t kOaktDataBlock = 60;

constexpr uint32_t kOaktPaperWidthAt = 16;  // 1/1200 inch
constexpr uint32_t kOaktPaperLengthAt = 20;
constexpr uint32_t kOaktBlockLengthAt = 32;
constexpr double kPerDot1200 = 0.0008333333333333334;

}  // namespace

int32_t ScanZJSTREAM(Bytes job, uint32_t, PageCountResult& rec) { return WalkChunkStream(job, kZjStream, rec); }

int32_t ScanTALLYSTREAM(Bytes job, uint32_t, PageCountResult& rec) { return WalkChunkStream(job, kTally, rec); }

int32_t ScanOAKT(Bytes job, uint32_t, PageCountResult& rec) {
    uint32_t pages = 0;
    uint32_t offset = 0;
    while (job.left(offset) > kOaktHeaderSize) {
        if (!job.matches(offset, "OAKT")) {
            // Bytes between records: on to the next "O".
            const uint32_t next = job.find(offset + 1, 'O');
            offset = next;
            continue;
        }
        const uint32_t length = job.le32(offset + 4);
        const uint32_t type = job.le32(offset + 8);
        const uint32_t value = job.le32(offset + 12);
        uint64_t advance = length;
        switch (type) {
            case kOaktEndPage:
                ++pages;
                Debug("plathorn.dll!GetTotalPageCount_OAKT: Found End of Page %X\n", offset + kOaktHeaderSize);
                break;
            case kOaktDuplex:
                rec.duplex = 1;
                break;
            case kOaktCopies:
                rec.copies = value;
                break;
            case kOaktPaper:
                if (!job.has(offset + kOaktPaperWidthAt, 8)) {
                    offset = job.size;  // sizes cut by the end of the file
                    continue;
                }
                rec.paperWidth = static_cast<double>(job.le32(offset + kOaktPaperWidthAt)) * kPerDot1200;
                rec.paperLength = static_cast<double>(job.le32(offset + kOaktPaperLengthAt)) * kPerDot1200;
                break;
            case kOaktColour:
                rec.color = 1;
                break;
            case kOaktDataBlock:
                if (!job.has(offset + kOaktBlockLengthAt, 4)) {
                    offset = job.size;  // the block's length lies past the end
                    continue;
                }
                advance += job.le32(offset + kOaktBlockLengthAt);
                break;
            default:
                break;
        }
        if (advance == 0) break;  // a record that does not advance ends the data
        offset = SkipBy(job, offset, advance);
    }
    rec.pages = pages;
    return QM_OK;
}

}  // namespace qm
