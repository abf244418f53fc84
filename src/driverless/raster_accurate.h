// The rasters of driverless printing and of the CUPS filter chain: CUPS
// Raster (versions 1 to 3, either byte order), PWG Raster (a version 2
// stream whose pages say "PwgRaster") and Apple Raster (URF). A job is a
// file header, then per page a page header and the page's rows; the rows of
// versions 1 and 3 are stored as they are (bytes per line x lines), those of
// version 2, PWG and URF are run coded line by line (a line-repeat byte,
// then runs of repeated or literal pixels until the line is full).
#pragma once

#include <cstdint>

#include "accurate/accurate.h"

namespace qm::driverless {

enum class RasterKind : uint8_t { None, CupsV1, CupsV2, CupsV3, Pwg, Urf };

// What the first bytes of a job make of it: its kind, its byte order and
// where the first page header starts. kind None when no signature is there.
struct RasterStream {
    RasterKind kind = RasterKind::None;
    bool bigEndian = true;
    uint32_t firstPage = 0;  // offset of the first page header
};
RasterStream ReadSignature(Bytes body) noexcept;

// One page header, from the fields every kind states.
struct RasterPage {
    uint32_t width = 0, height = 0, bytesPerLine = 0;
    uint32_t bitsPerColor = 0, bitsPerPixel = 0, colorOrder = 0, colorSpace = 0, numColors = 0;
    uint32_t copies = 0;  // 0: not stated
    bool duplex = false;  // which edge the sheet turns on changes no count
    double paperWidth = 0.0, paperLength = 0.0;  // inches; 0 when not stated
    uint32_t headerSize = 0;                     // bytes of the page header
};

enum class HeaderState { Valid, Invalid, Cut };
// Reads the page header at `at` and checks that its raster is one a printer
// could take (known bit depths, a line length that matches the width, sizes
// within bounds).
HeaderState ReadPageHeader(Bytes job, uint32_t at, const RasterStream& s, RasterPage& page) noexcept;

// Whether the counter decides each page's colour from its pixels, or only
// walks the pages' structure (the benchmark times both).
enum class Pixels { Read, Skip };

// Counts a job whose body starts at `body`. QM_OK or QM_E_NOT_UNDERSTOOD.
int32_t CountRaster(Bytes job, uint32_t body, accurate::Result& out, Pixels pixels);

}  // namespace qm::driverless
