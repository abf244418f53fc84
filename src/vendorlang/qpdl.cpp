// Samsung QPDL: counts page headers, takes copies and the paper code from
// them, steps over raster records by their length fields and reads one PJL
// setting for colour.
#include <cstring>

#include "api/scanners.h"
#include "jobfile/diag.h"
#include "pcl/leadbytes.h"

namespace qm {
namespace {

struct QpdlPaper {
    uint8_t code;  // the page-size number the row stands for
    double width;
    double length;
};

// Selected by the header's paper byte as a row number.
constexpr QpdlPaper kQpdlPapers[] = {
    {2, 8.5, 11.0},     {3, 8.5, 14.0},   {26, 8.27, 11.69}, {1, 7.25, 10.5},  {6, 17.0, 11.0},
    {27, 11.69, 16.54}, {45, 7.17, 10.12}, {46, 9.84, 13.94}, {100, 6.93, 9.84}, {80, 3.875, 7.5},
    {25, 5.83, 8.27},   {81, 4.125, 9.5}, {90, 4.33, 8.66},  {91, 6.38, 9.02},  {25, 5.83, 8.27},
    {25, 5.83, 8.27},   {25, 5.83, 8.27},
};
constexpr uint32_t kQpdlPaperRows = sizeof kQpdlPapers / sizeof kQpdlPapers[0];

// Page header: 0x00 0x06, copies (big-endian 16 bits), paper byte, twelve
// bytes, then the 0x0C of the record that follows at offset 17.
constexpr uint32_t kHeaderCopies = 2, kHeaderPaper = 4, kHeaderEnd = 17;

// Raster records start with 0x0C; their length field's place depends on
// the tag in bytes 2 and 3 (and byte 7 for 0x13 0x60).
constexpr uint32_t kRecordTag = 2, kRecordFlag = 7, kRecordExtra = 10;

constexpr char kColourSetting[] = "@PJL SET COLORMODE = COLO";  // 25 bytes are compared
constexpr uint32_t kColourLength = sizeof kColourSetting - 1;

// The lines sent at every "@", ")" and ESC, one every few dozen bytes of a
// job: written here directly rather than through the general formatter.
// Each is the prefix, the byte and the index in upper-case hexadecimal as %X
// writes them, and a line feed.
constexpr char kLinePrefix[] = "Samsung!GetTotalPageCount_QPDL: ";

char* PutHex(char* out, uint32_t v) {
    char digits[8];
    int n = 0;
    do {
        digits[n++] = "0123456789ABCDEF"[v & 0xF];
        v >>= 4;
    } while (v != 0);
    while (n > 0) *out++ = digits[--n];
    return out;
}

template <size_t N>
void SendLine(const char (&event)[N], uint32_t byte, uint32_t at) {
    if (!DebugWanted()) return;
    char line[sizeof kLinePrefix + N + 20];
    std::memcpy(line, kLinePrefix, sizeof kLinePrefix - 1);
    char* p = line + sizeof kLinePrefix - 1;
    std::memcpy(p, event, N - 1);
    p = PutHex(p + N - 1, byte);
    *p++ = ' ';
    p = PutHex(p, at);
    *p++ = '\n';
    *p = '\0';
    DebugOutput(line);
}

// Offset of the length field of the record at i, or 0 when i starts none
// (or its header does not fit).
uint32_t RecordLengthField(const Bytes& job, uint32_t i) {
    if (!job.has(i, 12)) return 0;
    const uint8_t a = job[i + kRecordTag], b = job[i + kRecordTag + 1];
    if (a == 0x13 && b == 0x60) return job[i + kRecordFlag] == 0 ? 9 : 10;
    if (a == 0xEF && b == 0xCD) return 10;
    return 0;
}

// A page header opens 00 06; records, PJL lines, comments and ESC bytes
// start at their first byte.
constexpr LeadSet<4, 1> kQpdlStarts{{0x0C, '@', ')', 0x1B}, {Pair(0x00, "\x06")}};

// nextLead(job, i) gives the next byte at or after i that may start something.
template <class NextLead>
int32_t ScanQpdlWith(Bytes job, uint32_t start, PageCountResult& rec, NextLead nextLead) {
    uint32_t pages = 0, copies = 0;
    uint8_t paper = 0, colour = 0;

    for (uint32_t i = nextLead(job, start); i < job.size; i = nextLead(job, i + 1)) {
        switch (job[i]) {
            case 0x00:
                if (job.has(i, kHeaderEnd + 1) && job[i + 1] == 0x06 && job[i + kHeaderEnd] == 0x0C) {
                    const uint32_t c = job.be16(i + kHeaderCopies);
                    // Headers that disagree with the first copies count are
                    // passed over.
                    if (c == copies || copies == 0) {
                        copies = c;
                        ++pages;
                        paper = job[i + kHeaderPaper];
                    }
                    i += kHeaderEnd - 1;  // on to the record at offset 17
                }
                break;
            case 0x0C:
                if (const uint32_t field = RecordLengthField(job, i)) {
                    i = SkipBy(job, i, uint64_t{job.be16(i + field)} + kRecordExtra);
                }
                break;
            case '@':
                SendLine("PJL command! ", 0x40, i);
                if (job.left(i) > kColourLength && job.matches(i, kColourSetting)) {
                    colour = 1;
                    i += kColourLength;
                } else if (job.left(i) > 4 && job.matches(i, "@PJL")) {
                    i = job.find(i, '\n');
                }
                break;
            case ')':
                SendLine("PJL comment! ", 0x29, i);
                i = job.find(i, '\n');
                break;
            case 0x1B:
                SendLine("ESC command! ", 0x1B, i);
                break;
            default:
                break;
        }
        if (i >= job.size) break;
    }

    rec.pages = pages;
    rec.copies = copies;
    rec.color = colour;
    // Paper bytes from 17 up name no row: no size.
    if (paper < kQpdlPaperRows) {
        rec.paperWidth = kQpdlPapers[paper].width;
        rec.paperLength = kQpdlPapers[paper].length;
    }
    return QM_OK;
}

}  // namespace

int32_t ScanQPDL(Bytes job, uint32_t start, PageCountResult& rec) {
    return ScanQpdlWith(job, start, rec, [](const Bytes& j, uint32_t from) {
        return FindLead(j, from, kQpdlStarts);
    });
}

// Every byte handed to the switch, as the lead search must agree with.
int32_t ScanQPDLEveryByte(Bytes job, uint32_t start, PageCountResult& rec) {
    return ScanQpdlWith(job, start, rec, [](const Bytes&, uint32_t from) { return from; });
}

}  // namespace qm
