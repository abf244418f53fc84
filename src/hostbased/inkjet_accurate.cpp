// Packet walks of the host-based inkjet streams: HP PPA packets, and the
// Lexmark command streams whose 8-byte commands carry a checksum. Pages end
// where the stream ejects the sheet; colour comes from the sweeps (PPA) or
// the print head (Lexmark) that each page actually uses; the job's colour
// follows from its pages.
#include "hostbased/hostbased_accurate.h"

namespace qm::accurate {
namespace {

// ---------------------------------------------------------------- PPA

constexpr uint8_t kPacketStart = '$';
constexpr uint32_t kPacketHeader = 4;  // "$", channel, payload length (big-endian)
constexpr uint8_t kCommandChannel = 1;

// Commands on the command channel come in two framings: an 8-byte header
// (specifier, reference, priority, 0, data length) or a 16-byte one whose
// second word repeats the payload length.
constexpr uint32_t kShortFrame = 8;
constexpr uint32_t kLongFrame = 16;

enum PpaCommand : uint16_t {
    kSweepShort = 18,
    kMediaShort = 19,
    kSweepLong = 0x180,
    kMediaLong = 0x181,
};
constexpr uint8_t kEject = 2;          // first data byte of a media command
constexpr uint32_t kSweepInkAt = 3;    // data byte of a sweep: 1 black, else colour
constexpr uint8_t kBlackSweep = 1;

// ---------------------------------------------------------------- Lexmark

constexpr uint8_t kEsc = 0x1B;
constexpr uint32_t kCommand = 8;        // ESC, code, five parameters, checksum
constexpr uint8_t kSwath = 0x40;        // "@": parameter 1 selects the head
constexpr uint8_t kSwathData = 0x43;    // "C": 24-bit count of data bytes that follow
constexpr uint8_t kEjectSheet = 0x22;
constexpr uint8_t kColourHead = 0x80;   // the right head holds the colour cartridge

bool ChecksumHolds(const Bytes& job, uint32_t i) {
    uint32_t sum = 0;
    for (uint32_t k = 1; k < kCommand - 1; ++k) sum += job[i + k];
    return (sum & 0xFF) == job[i + kCommand - 1];
}

// The reset that opens every page carries no checksum.
constexpr uint8_t kReset[kCommand] = {kEsc, 0x2A, 0x80, 0, 0, 0, 0, 0};

bool IsCheckedCommand(const Bytes& job, uint32_t i) {
    return job.has(i, kCommand) && job[i] == kEsc && (ChecksumHolds(job, i) || job.matches(i, kReset, kCommand));
}

// ---------------------------------------------------------------- Lexmark ESC "*"

enum LexmarkEscapeCode : uint8_t {
    kEscReset = 0x80,       // c2050: opens a page
    kEscBlock = 0x81,       // Gutenprint: the job's settings, 16-bit length at 3
    kEscEnd = 0x82,         // Gutenprint's Z42: closes the job
    kEscMove = 0x03,        // feeds the paper: 16-bit count
    kEscSweep = 0x04,       // c2050: a swath, 16-bit count at 3
    kEscControl = 0x07,     // a letter: "s" and "v" take a byte; "e" ejects the page
    kEscSwath = 0x24,       // Gutenprint: a swath, 32-bit length at 3
    kEscMargins = 0x6D,     // Gutenprint: eight bytes of margins
};
constexpr uint32_t kSweepHeader = 26;   // c2050's swath header; byte 8 is 1 for the black cartridge
constexpr uint32_t kSweepHeadAt = 8;
constexpr uint32_t kSwathHeader = 34;   // Gutenprint's; byte 9 is 1 for black printing, 0 for colour
constexpr uint32_t kSwathHeadAt = 9;

}  // namespace

bool OpensLexmarkEscape(const Bytes& job) noexcept {
    return job.matches(0, "\x1b*\x80\x1b*\x07") || job.matches(0, "\x1b*\x81");
}

LexmarkEscape LexmarkEscapeCommand(const Bytes& job, uint32_t at) noexcept {
    LexmarkEscape c;
    if (!job.has(at, 3) || job[at] != kEsc || job[at + 1] != '*') return c;
    const auto swath = [&](uint32_t header, uint32_t headAt, uint64_t stated, uint64_t length) {
        if (stated < header || !job.has(at, headAt + 1)) return;
        c.length = length;
        c.kind = job[at + headAt] == 1 ? LexmarkEscape::BlackSwath : LexmarkEscape::ColourSwath;
    };
    switch (job[at + 2]) {
        case kEscReset: c.length = 3; break;
        case kEscEnd: c.length = 8; break;
        case kEscMove: c.length = 5; break;
        case kEscMargins: c.length = 11; break;
        case kEscBlock:
            if (job.has(at, 5) && job.be16(at + 3) >= 5) c.length = job.be16(at + 3);
            break;
        case kEscSweep:
            // The c2050 driver states the header and data together, then
            // writes that many bytes of data after the header.
            if (job.has(at, 5)) swath(kSweepHeader, kSweepHeadAt, job.be16(at + 3), kSweepHeader + job.be16(at + 3));
            break;
        case kEscSwath:
            if (job.has(at, 7)) swath(kSwathHeader, kSwathHeadAt, job.be32(at + 3), job.be32(at + 3));
            break;
        case kEscControl:
            switch (job.at(at + 3)) {
                case 's': case 'v': c.length = 5; break;
                case 'c': c.length = 4; break;
                case 'e':
                    c.length = 4;
                    c.kind = LexmarkEscape::Eject;
                    break;
                default: break;
            }
            break;
        default: break;
    }
    return c;
}

int32_t CountLexmarkEscape(Bytes job, Result& out) {
    if (!OpensLexmarkEscape(job)) return QM_E_NOT_UNDERSTOOD;
    uint32_t pages = 0;
    bool pageColour = false, broken = false;
    uint32_t at = 0;
    while (at < job.size) {
        const LexmarkEscape c = LexmarkEscapeCommand(job, at);
        if (c.length == 0 || c.length > job.left(at)) {
            broken = true;  // not a command of these streams, or one cut by the end of the job
            break;
        }
        if (c.kind == LexmarkEscape::ColourSwath) pageColour = true;
        if (c.kind == LexmarkEscape::Eject) {
            ++pages;
            LogPage(out, pageColour);
            pageColour = false;
        }
        at += static_cast<uint32_t>(c.length);
    }
    if (pages == 0) return QM_E_NOT_UNDERSTOOD;
    out.rec.pages = pages;
    out.rec.copies = 1;  // copies are sent again as pages
    out.estimated = broken;
    return QM_OK;
}

int32_t CountPpa(Bytes job, Result& out) {
    uint32_t pages = 0;
    bool pageColour = false, broken = false;
    uint32_t at = 0;
    while (at < job.size) {
        if (!job.has(at, kPacketHeader) || job[at] != kPacketStart) {
            broken = true;
            break;
        }
        const uint32_t length = job.be16(at + 2);
        if (!job.has(at + kPacketHeader, length)) {
            broken = true;
            break;
        }
        const uint32_t p = at + kPacketHeader;
        if (job[at + 1] == kCommandChannel && length >= kShortFrame) {
            uint32_t data = 0;
            if (length >= kLongFrame && job.be16(p + 2) == length) {
                data = p + kLongFrame;
            } else if (job.be16(p + 6) == length - kShortFrame) {
                data = p + kShortFrame;
            }
            const uint32_t dataEnd = p + length;
            if (data != 0 && data < dataEnd) {
                const uint16_t command = job.be16(p);
                if ((command == kMediaShort || command == kMediaLong) && job[data] == kEject) {
                    ++pages;
                    LogPage(out, pageColour);
                    pageColour = false;
                } else if ((command == kSweepShort || command == kSweepLong) && data + kSweepInkAt < dataEnd &&
                           job[data + kSweepInkAt] != kBlackSweep) {
                    pageColour = true;
                }
            }
        }
        at = p + length;
    }
    if (pages == 0) return QM_E_NOT_UNDERSTOOD;
    out.rec.pages = pages;
    out.rec.copies = 1;  // a copy is sent again as pages
    out.estimated = broken;
    return QM_OK;
}

int32_t CountLexmarkChecked(Bytes job, Result& out) {
    if (OpensLexmarkEscape(job)) return CountLexmarkEscape(job, out);
    if (!IsCheckedCommand(job, 0) || !IsCheckedCommand(job, kCommand)) return PassMarked("Lexmark", job, out, 0);
    uint32_t pages = 0;
    bool pageColour = false, broken = false;
    uint32_t at = 0;
    while (at < job.size) {
        if (!IsCheckedCommand(job, at)) {
            broken = true;
            break;
        }
        uint64_t step = kCommand;
        switch (job[at + 1]) {
            case kSwath:
                if (job[at + 2] & kColourHead) pageColour = true;
                break;
            case kSwathData:
                step += job.be24(at + 2);
                break;
            case kEjectSheet:
                ++pages;
                LogPage(out, pageColour);
                pageColour = false;
                break;
            default:
                break;
        }
        if (step > job.left(at)) {
            broken = true;
            break;
        }
        at += static_cast<uint32_t>(step);
    }
    if (pages == 0) return QM_E_NOT_UNDERSTOOD;
    out.rec.pages = pages;
    out.rec.copies = 1;
    out.estimated = broken;
    return QM_OK;
}

}  // namespace qm::accurate
