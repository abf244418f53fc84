// Brother host-based streams: HBP counts "@F" page ends and steps over "@G"
// data blocks; NCM counts page headers and steps over "G" blocks.
#include "api/scanners.h"

namespace qm {
namespace {

struct NcmPaper {
    uint8_t code;
    double width;
    double length;
};

constexpr NcmPaper kNcmPapers[] = {
    {0, 8.5, 11.0},     // Letter
    {1, 8.27, 11.69},   // A4
    {2, 8.5, 14.0},     // Legal
    {3, 7.25, 10.5},    // Executive
    {6, 6.38, 9.02},    // C5 envelope
    {10, 4.33, 8.66},   // DL envelope
    {12, 4.125, 9.5},   // Com10 envelope
    {13, 3.875, 7.5},   // Monarch envelope
    {19, 3.0, 5.0},     // 3 x 5 card
};

constexpr uint8_t kNcmPageHeader[] = {0x1B, 0x7C, 0x01, 0x00, 0x06, 0x52};
constexpr uint32_t kNcmPaperOffset = 27;  // from the header's ESC
constexpr uint32_t kNcmColourOffset = 9;  // from the first byte of the file
constexpr uint8_t kNcmColourMark = 0x10;

}  // namespace

int32_t ScanHBP(Bytes job, uint32_t start, PageCountResult& rec) {
    uint32_t pages = 0;
    for (uint32_t i = job.find(start, '@'); i < job.size; i = job.find(i, '@')) {
        ++i;  // the byte after "@"
        const int next = job.at(i);
        if (next == 'F') {
            ++pages;
        } else if (next == 'G') {
            // "@G", a 24-bit big-endian length, then that many data bytes.
            if (!job.has(i + 1, 3)) break;
            i = SkipBy(job, i, uint64_t{job.be24(i + 1)} + 3);
        }
        if (i < job.size) ++i;
    }
    rec.pages = pages;
    rec.copies = 1;
    rec.color = 1;  // every HBP job is reported as colour
    return QM_OK;
}

int32_t ScanBrotherNCM(Bytes job, uint32_t start, PageCountResult& rec) {
    uint32_t pages = 0;
    bool colour = false;
    double width = 0.0, length = 0.0;
    for (uint32_t i = start; i < job.size; ++i) {
        const uint8_t b = job[i];
        if (b == 0x1B && job.matches(i, kNcmPageHeader, sizeof kNcmPageHeader)) {
            ++pages;
            if (job.at(kNcmColourOffset) == kNcmColourMark) colour = true;
            // The last header wins, also when its code is unknown.
            width = length = 0.0;
            const int code = job.at(i + kNcmPaperOffset);
            for (const NcmPaper& p : kNcmPapers) {
                if (p.code == code) {
                    width = p.width;
                    length = p.length;
                }
            }
            // The header's own bytes are scanned like any others.
        } else if (b == 'G') {
            // "G", a 16-bit little-endian length; the scan resumes L + 4
            // bytes after the "G".
            if (!job.has(i + 1, 2)) break;
            i = SkipBy(job, i, uint64_t{job.le16(i + 1)} + 3);
            if (i >= job.size) break;
        }
    }
    rec.pages = pages;
    rec.copies = 1;
    rec.color = colour ? 1 : 0;
    rec.paperLength = length;
    rec.paperWidth = width;
    return QM_OK;
}

}  // namespace qm
