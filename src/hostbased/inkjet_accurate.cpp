// Packet walks of the host-based inkjet streams: HP PPA packets, and the
// Lexmark command streams whose 8-byte commands carry a checksum. Pages end
// where the stream ejects the sheet; colour comes from the sweeps (PPA) or
// the print head (Lexmark) that each page actually uses.
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


}  // namespace

int32_t CountPpa(Bytes job, Result& out) {
    uint32_t pages = 0;
    bool colour = false, pageColour = false, broken = false;
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
                    colour = colour || pageColour;
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
    out.rec.color = colour;
    out.estimated = broken;
    return QM_OK;
}

int32_t CountLexmarkChecked(Bytes job, Result& out) {
    if (!IsCheckedCommand(job, 0) || !IsCheckedCommand(job, kCommand)) return PassMarked("Lexmark", job, out, 0);
    uint32_t pages = 0;
    bool colour = false, pageColour = false, broken = false;
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
                colour = colour || pageColour;
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
    out.rec.color = colour;
    out.estimated = broken;
    return QM_OK;
}

}  // namespace qm::accurate
