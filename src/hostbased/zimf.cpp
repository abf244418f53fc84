// ZIMF spool jobs: "ZIMF", then records that each open with a 4-byte mark
// and their little-endian size. Page records are counted unopened; the job
// settings record carries the driver's device-mode block, whose paper code
// selects a row of the Windows paper table.
#include "api/scanners.h"

namespace qm {
namespace {

constexpr uint8_t kRecordMark[] = {0xCD, 0x9A, 0xA9, 0xDC};
constexpr uint32_t kRecordHeaderSize = 16;  // a record is read when more bytes than this remain
constexpr uint32_t kRecordSizeAt = 4;
constexpr uint32_t kRecordTypeAt = 16;
constexpr uint32_t kSettingsOffsetAt = 32;

constexpr uint32_t kJobSettings = 1;
constexpr uint32_t kPage = 13;

// Device-mode fields from the paper code on, 16-bit each.
constexpr uint32_t kDevModeFieldsSize = 18;
constexpr uint32_t kPaperCodeAt = 0;
constexpr uint32_t kPaperLengthAt = 2;  // tenths of a millimetre
constexpr uint32_t kPaperWidthAt = 4;
constexpr uint32_t kCopiesAt = 8;
constexpr uint32_t kColourModeAt = 14;
constexpr uint32_t kDuplexModeAt = 16;

constexpr uint16_t kColourModeColour = 2;
constexpr uint16_t kDuplexSimplex = 1;

// Inches per tenth of a millimetre, as a single-precision constant.
constexpr float kInchPerTenthMm = 0.003937007859349251f;

struct WindowsPaper {
    char name[30];
    double width;
    double length;
};

// Indexed by the Windows paper code; row 0 only keeps the indexes aligned.
constexpr WindowsPaper kWindowsPapers[] = {
    {"BLANK", 0.0, 0.0},
    {"DMPAPER_LETTER", 8.5, 11.0},
    {"DMPAPER_LETTERSMALL", 8.5, 11.0},
    {"DMPAPER_TABLOID", 11.0, 17.0},
    {"DMPAPER_LEDGER", 17.0, 11.0},
    {"DMPAPER_LEGAL", 8.5, 14.0},
    {"DMPAPER_STATEMENT", 5.5, 8.5},
    {"DMPAPER_EXECUTIVE", 7.25, 10.5},
    {"DMPAPER_A3", 11.69, 16.54},
    {"DMPAPER_A4", 8.27, 11.69},
    {"DMPAPER_A4SMALL", 8.27, 11.69},
    {"DMPAPER_A5", 5.83, 8.27},
    {"DMPAPER_B4", 9.84, 13.9},
    {"DMPAPER_B5", 6.93, 9.84},
    {"DMPAPER_FOLIO", 8.5, 13.0},
    {"DMPAPER_QUARTO", 8.46, 10.83},
    {"DMPAPER_10X14", 10.0, 14.0},
    {"DMPAPER_11X17", 11.0, 17.0},
    {"DMPAPER_NOTE", 8.5, 11.0},
    {"DMPAPER_ENV_9", 3.875, 8.875},
    {"DMPAPER_ENV_10", 4.125, 9.5},
    {"DMPAPER_ENV_11", 4.5, 10.375},
    {"DMPAPER_ENV_12", 4.75, 11.0},
    {"DMPAPER_ENV_14", 5.0, 11.5},
    {"DMPAPER_CSHEET", 17.0, 22.0},
    {"DMPAPER_DSHEET", 22.0, 34.0},
    {"DMPAPER_ESHEET", 34.0, 44.0},
    {"DMPAPER_ENV_DL", 4.33, 8.66},
    {"DMPAPER_ENV_C5", 6.38, 9.02},
    {"DMPAPER_ENV_C3", 12.76, 18.03},
    {"DMPAPER_ENV_C4", 9.02, 12.76},
    {"DMPAPER_ENV_C6", 4.49, 6.38},
    {"DMPAPER_ENV_C65", 4.49, 9.02},
    {"DMPAPER_ENV_B4", 9.84, 13.9},
    {"DMPAPER_ENV_B5", 6.93, 9.84},
    {"DMPAPER_ENV_B6", 6.93, 4.92},
    {"DMPAPER_ENV_ITALY", 4.33, 9.061},
    {"DMPAPER_ENV_MONARCH", 3.875, 7.5},
    {"DMPAPER_ENV_PERSONAL", 3.625, 6.5},
    {"DMPAPER_FANFOLD_US", 14.875, 11.0},
    {"DMPAPER_FANFOLD_STD_GERMAN", 8.5, 12.0},
    {"DMPAPER_FANFOLD_LGL_GERMAN", 8.5, 13.0},
};
constexpr uint32_t kWindowsPaperCount = sizeof kWindowsPapers / sizeof kWindowsPapers[0];
static_assert(kWindowsPaperCount == 42, "Windows paper codes 0 to 41");

struct DevModeSettings {
    uint16_t paperCode = 0;
    uint16_t paperLength = 0;
    uint16_t paperWidth = 0;
    uint16_t copies = 1;
    uint16_t colourMode = 0;
    uint16_t duplexMode = 0;
};

// Finds the device-mode fields of a settings record: two counted parts are
// stepped over first. False when any step or the fields lie past the end.
bool ReadSettings(const Bytes& job, uint32_t record, DevModeSettings& out) {
    if (!job.has(record + kSettingsOffsetAt, 4)) return false;
    const uint64_t p1 = uint64_t{record} + 4 + job.le32(record + kSettingsOffsetAt);
    if (p1 >= job.size || !job.has(static_cast<uint32_t>(p1), 2)) return false;
    const uint64_t p2 = p1 + job.le16(static_cast<uint32_t>(p1)) + 4;
    if (p2 >= job.size || !job.has(static_cast<uint32_t>(p2), 2)) return false;
    const uint64_t d = p2 + job.le16(static_cast<uint32_t>(p2)) + 86;
    if (d >= job.size || !job.has(static_cast<uint32_t>(d), kDevModeFieldsSize)) return false;
    const uint32_t at = static_cast<uint32_t>(d);
    out.paperCode = job.le16(at + kPaperCodeAt);
    out.paperLength = job.le16(at + kPaperLengthAt);
    out.paperWidth = job.le16(at + kPaperWidthAt);
    out.copies = job.le16(at + kCopiesAt);
    out.colourMode = job.le16(at + kColourModeAt);
    out.duplexMode = job.le16(at + kDuplexModeAt);
    return true;
}

}  // namespace

int32_t ScanZIMF(Bytes job, uint32_t, PageCountResult& rec) {
    if (job.size <= 4 || !job.matches(0, "ZIMF")) return QM_E_FAIL;
    uint32_t pages = 0;
    DevModeSettings settings;
    uint32_t offset = 4;
    while (job.left(offset) > kRecordHeaderSize) {
        if (!job.matches(offset, kRecordMark, sizeof kRecordMark)) break;
        if (!job.has(offset + kRecordTypeAt, 4)) break;
        const uint32_t size = job.le32(offset + kRecordSizeAt);
        const uint32_t type = job.le32(offset + kRecordTypeAt);
        if (type == kJobSettings) {
            DevModeSettings found;
            if (ReadSettings(job, offset, found)) settings = found;  // replaces all six values
        } else if (type == kPage) {
            ++pages;
        }
        if (size == 0) break;  // a record that does not advance ends the data
        offset = SkipBy(job, offset, size);
    }

    rec.pages = pages;
    rec.copies = settings.copies;
    rec.color = settings.colourMode == kColourModeColour ? 1 : 0;
    rec.duplex = settings.duplexMode > kDuplexSimplex ? 1 : 0;
    if (settings.paperCode != 0 && settings.paperCode < kWindowsPaperCount) {
        rec.paperLength = kWindowsPapers[settings.paperCode].length;
        rec.paperWidth = kWindowsPapers[settings.paperCode].width;
    } else {
        // Code 0 and driver-defined codes: the block's own length and width.
        rec.paperLength = settings.paperLength * static_cast<double>(kInchPerTenthMm);
        rec.paperWidth = settings.paperWidth * static_cast<double>(kInchPerTenthMm);
    }
    return QM_OK;
}

}  // namespace qm
