// The block stream of Minolta's GDI lasers: the PagePro 1200W to 1400W
// (min12xxw) and the magicolor 2300W and 2400W (m2300w) write the same
// blocks. A block is ESC, its type, a sequence number, a little-endian
// 16-bit length, the type's complement, that many bytes of data and a
// checksum byte (the sum of every byte before it, modulo 256). A raster
// block (0x52) is followed by as many bytes of compressed rows as the first
// 32-bit word of its data states. A job is a start block (0x40, naming the
// model), the resolution (0x50), then per page a page start (0x51) and its
// raster blocks, and at the end 0x55 and 0x41.
#pragma once

#include <array>
#include <cstdint>

#include "accurate/accurate.h"

namespace qm::gdi {

enum MinoltaBlockType : uint8_t {
    kMinoltaStart = 0x40, kMinoltaEnd = 0x41, kMinoltaResolution = 0x50, kMinoltaPage = 0x51,
    kMinoltaRaster = 0x52, kMinoltaEject = 0x55,
};

struct MinoltaBlock {
    uint8_t type = 0;
    uint32_t body = 0;    // the block's data
    uint16_t length = 0;  // of the data
    uint32_t next = 0;    // just past the block, its raster bytes included
};
enum class MinoltaRead { Ok, Invalid, Cut };
// Reads the block at `at`: its checksum must hold and its type be one of the six.
MinoltaRead ReadMinoltaBlock(Bytes b, uint32_t at, MinoltaBlock& k) noexcept;

// What tells one driver's jobs from the other's, and what its page start says.
struct MinoltaFamily {
    std::array<uint8_t, 3> models;  // the start block's model byte (0: none)
    uint16_t pageLength;            // of the page start's data
    bool planes;                    // raster blocks name their colour plane; the page start gives copies, duplex
};
// min12xxw: 0x81 (1200W, 1250W), 0x83 (1300W, 1350W), 0x86 (1400W); black only.
inline constexpr MinoltaFamily kPageProGdi{{0x81, 0x83, 0x86}, 22, false};
// m2300w: 0x82 (2300W), 0x85 (2400W); black, cyan, magenta and yellow planes.
inline constexpr MinoltaFamily kM2300w{{0x82, 0x85, 0}, 28, true};

// Whether the job's body opens with this family's start block.
bool OpensMinolta(Bytes body, const MinoltaFamily& f) noexcept;

// Counts a job of the family. QM_OK or QM_E_NOT_UNDERSTOOD.
int32_t CountMinolta(Bytes job, accurate::Result& out, const MinoltaFamily& f);

}  // namespace qm::gdi
