// Epson ESC/Page: commands end in a name of lower-case letters and an upper-
// case letter or "{". The counter reacts to a few final bytes, checks the
// two letters before them and reads the command's first parameter backwards
// to its GS. "@EJL SET" header lines give copies and duplex.
#include <iterator>

#include "api/scanners.h"
#include "vendorlang/text.h"

namespace qm {
namespace {

constexpr uint8_t kGs = 0x1D;
constexpr uint8_t kFormFeed = 0x0C;

struct EscPagePaper {
    uint32_t number;
    double width;
    double length;
};

constexpr EscPagePaper kEscPagePapers[] = {
    {33, 7.25, 10.5},   // Executive
    {30, 8.5, 11.0},    // Letter
    {32, 8.5, 14.0},    // Legal
    {36, 17.0, 11.0},   // Ledger
    {15, 5.83, 8.27},   // A5
    {14, 8.27, 11.69},  // A4
    {13, 11.69, 16.54}, // A3
    {25, 7.17, 10.12},  // JIS B5
    {24, 9.84, 13.94},  // JIS B4
    {100, 6.93, 9.84},  // ISO B5
    {80, 3.875, 7.5},   // Monarch envelope
    {81, 4.125, 9.5},   // Com10 envelope
    {90, 4.33, 8.66},   // DL envelope
    {91, 6.38, 9.02},   // C5 envelope
    {16, 4.13, 5.83},   // A6
    {31, 8.5, 5.5},     // Half Letter
    {38, 3.94, 5.83},   // Japanese postcard
    {0, 8.5, 11.0},     // no number
};

constexpr uint32_t kParamWindow = 64;  // bytes read backwards for a parameter

// Offsets in the header that follows "{" "IF", counted from the "{".
constexpr uint32_t kImageHeaderSize = 28;
constexpr uint32_t kImageLength = 16, kImageWidth = 18, kImageColour = 21, kImageCopies = 27;

// digit × 10^k as the command reader adds it: the power is a double truncated
// to an integer; terms beyond 32 bits saturate instead of being undefined.
// Powers up to 10^9 are exact in a double, and from 10^10 on every term of a
// digit other than 0 saturates, so a table gives the same terms as the power
// function without its cost at every digit.
constexpr uint64_t kPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

uint32_t DigitTerm(uint32_t digit, uint32_t k) {
    if (digit == 0) return 0;
    if (k >= std::size(kPowersOfTen)) return 0xFFFFFFFFu;
    const uint64_t term = digit * kPowersOfTen[k];
    return term >= 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(term);
}

// The first parameter of a command, read backwards to the GS that starts it
// from the byte `back` bytes before `from` (the last byte before the command's
// name). A byte before the start of the file reads as 0.
uint32_t FirstParameter(const Bytes& job, uint32_t from, uint32_t back) {
    if (from < back) return 0;  // the command would start before the file
    uint32_t pos = from - back;
    if (job[pos] == kGs) return 0;
    uint32_t value = 0, k = 0;
    for (uint32_t n = 0; n < kParamWindow; ++n, --pos) {
        const uint8_t b = job[pos];
        if (b >= '0' && b <= '9') {
            const uint32_t term = DigitTerm(b - '0', k++);
            value = term > 0xFFFFFFFFu - value ? 0xFFFFFFFFu : value + term;
        } else {
            value = 0;
            k = 0;
        }
        if (pos == 0 || job[pos - 1] == kGs) break;
    }
    return value;
}

bool Before(const Bytes& job, uint32_t i, char a, char b) {
    return i >= 2 && job[i - 2] == static_cast<uint8_t>(a) && job[i - 1] == static_cast<uint8_t>(b);
}

struct EjlSettings {
    int32_t copies = 0;
    int32_t factor = 0;
    bool duplex = false;
};

// Reads the rest of an "@EJL SET " line from i; returns the index of its line
// feed (or the end). Settings are found by their letters wherever they stand.
uint32_t ReadEjlSettings(const Bytes& job, uint32_t i, EjlSettings& s) {
    while (i < job.size && job[i] != '\n') {
        const uint8_t b = job[i];
        const int next = job.at(i + 1);
        if (b == 'C' && next == 'O') {
            // "CO=n": the byte between is the setting's "=".
            i = SkipBy(job, i, 3);
            s.copies = AtoiIn(job, i, job.size);
        } else if (b == 'D' && next == 'X' && job.has(i, 5) && job[i + 4] == 'N') {
            s.duplex = true;  // "DX=ON"
            i = SkipBy(job, i, 4);
        } else if (b == 'R' && next == 'T') {
            i = SkipBy(job, i, 3);
            s.factor = AtoiIn(job, i, job.size);
        } else {
            ++i;
        }
    }
    return i;
}

}  // namespace

int32_t ScanESC_PAGE(Bytes job, uint32_t start, PageCountResult& rec) {
    uint32_t formFeedPages = 0, pendingCopies = 0, blockPages = 0;
    uint32_t imageHeaders = 0, headerCopies = 0;
    EjlSettings ejl;
    uint8_t colour = 0, duplex = 0;
    double width = 0.0, length = 0.0;

    for (uint32_t i = start; i < job.size; ++i) {
        switch (job[i]) {
            case kFormFeed:
                formFeedPages += pendingCopies != 0 ? pendingCopies : 1;
                pendingCopies = 0;
                break;
            case 'O':
                if (Before(job, i, 'c', 'o') || Before(job, i, 'c', 'u')) {
                    pendingCopies += FirstParameter(job, i, 3);
                }
                break;
            case 'E':
                if (Before(job, i, 's', 'd')) {
                    duplex = 1;
                } else if (Before(job, i, 's', 'c')) {
                    colour = 1;
                } else if (Before(job, i, 'p', 's')) {
                    const uint32_t n = FirstParameter(job, i, 3);
                    for (const EscPagePaper& p : kEscPagePapers) {
                        if (p.number == n) {
                            width = p.width;
                            length = p.length;
                            break;
                        }
                    }
                } else if (Before(job, i, 'e', 'c')) {
                    // The block runs to a GS after 0xF0 (page data of its
                    // own) or after 0xF0 0x0C (a page end inside the block).
                    uint32_t g = job.find(i + 1, kGs);
                    for (; g < job.size; g = job.find(g + 1, kGs)) {
                        if (job[g - 1] == 0xF0) break;
                        if (job[g - 1] == kFormFeed && job[g - 2] == 0xF0) {
                            ++blockPages;
                            break;
                        }
                    }
                    i = g;
                }
                break;
            case '{': {
                const uint32_t n = FirstParameter(job, i, 4);
                if (job.matches(i + 1, "IF") && job.has(i, kImageHeaderSize)) {
                    length = (job.be16(i + kImageLength) + 100) / 300.0;
                    width = (job.be16(i + kImageWidth) + 100) / 300.0;
                    ++imageHeaders;
                    if (job[i + kImageColour] == 0xFA || job[i + kImageColour] == 0x0E) colour = 1;
                    headerCopies = job[i + kImageCopies];
                }
                // The data follows the command's final letter ("bi{I" and
                // n bytes): skipping n from the "{" alone would leave the
                // last data byte to be read as a command (a stray form feed).
                const int letter = job.at(i + 1);
                i = SkipBy(job, i, uint64_t{n} + (letter >= 'A' && letter <= 'Z' ? 1 : 0));
                break;
            }
            case '@':
                if (job.matches(i, "@EJL")) {
                    if (job.left(i + 4) > 5 && job.matches(i + 4, " SET ")) {
                        i = ReadEjlSettings(job, i + 9, ejl);
                    } else {
                        i = job.find(i, '\n');
                    }
                }
                break;
            default:
                break;
        }
        if (i >= job.size) break;
    }

    uint32_t pages = formFeedPages != 0 ? formFeedPages : 1;
    pages += blockPages;
    if (imageHeaders > pages) pages = imageHeaders;

    // Copies and copy factor multiply as 32-bit values (wrapping, never
    // undefined); a larger copies byte of an image header wins.
    const uint32_t jobCopies = static_cast<uint32_t>(ejl.copies != 0 ? ejl.copies : 1);
    const uint32_t factor = static_cast<uint32_t>(ejl.factor != 0 ? ejl.factor : 1);
    uint32_t copies = jobCopies * factor;
    if (headerCopies > copies) copies = headerCopies;
    if (ejl.duplex) duplex = 1;

    rec.pages = pages;
    rec.copies = copies;
    rec.color = colour;
    rec.duplex = duplex;
    rec.paperLength = length;
    rec.paperWidth = width;
    return QM_OK;
}

}  // namespace qm
