// Jobs of the driverless rasters built in the tests: CUPS page headers of
// versions 1 to 3 in either byte order, PWG and Apple Raster pages, and the
// run coding of their rows.
#pragma once

#include <bit>
#include <cstdint>
#include <string>

namespace qmtest::raster {

struct Header {
    uint32_t space = 18, bits = 8, order = 0;  // cupsColorSpace, cupsBitsPerColor, cupsColorOrder
    uint32_t colours = 1;                      // colours of the space
    uint32_t width = 16, height = 2, bytesPerLine = 0;  // 0: from the width
    uint32_t copies = 1, duplex = 0;
    uint32_t bitsPerPixel = 0;  // 0: as the order, colours and bits make it
    uint32_t pageWidth = 612, pageLength = 792;  // points
    uint32_t resolution = 72;
    float exactWidth = 0, exactLength = 0;  // cupsPageSize, from version 2 on
    bool pwg = false;  // "PwgRaster" as the media class

    uint32_t BitsPerPixel() const { return bitsPerPixel != 0 ? bitsPerPixel : order == 0 ? bits * colours : bits; }
    uint32_t Line() const {
        if (bytesPerLine != 0) return bytesPerLine;
        const uint32_t bytes = (width * BitsPerPixel() + 7) / 8;
        return order == 1 ? bytes * colours : bytes;
    }
    uint32_t Rows() const { return order == 2 ? height * colours : height; }
    // Bytes of one unit of the run coding: a pixel, or a colour of one.
    uint32_t Unit() const { return order == 0 ? (BitsPerPixel() + 7) / 8 : (bits + 7) / 8; }
};

inline void Put32(std::string& s, size_t at, uint32_t v, bool big) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(big ? v >> (24 - 8 * i) : v >> (8 * i));
}

inline std::string Be32(uint32_t v) {
    std::string s(4, '\0');
    Put32(s, 0, v, true);
    return s;
}

// The sync word of CUPS Raster `version` ('t' for 1, '2', '3').
inline std::string Sync(char version, bool big) {
    return big ? std::string("RaS") + version : std::string(1, version) + "SaR";
}

// A CUPS page header: 420 bytes for version 1, 1796 from version 2.
inline std::string CupsHeader(const Header& h, char version, bool big) {
    std::string s(version == 't' ? 420 : 1796, '\0');
    if (h.pwg) s.replace(0, 9, "PwgRaster");
    Put32(s, 272, h.duplex, big);
    Put32(s, 276, h.resolution, big);
    Put32(s, 280, h.resolution, big);
    Put32(s, 340, h.copies, big);
    Put32(s, 352, h.pageWidth, big);
    Put32(s, 356, h.pageLength, big);
    Put32(s, 372, h.width, big);
    Put32(s, 376, h.height, big);
    Put32(s, 384, h.bits, big);
    Put32(s, 388, h.BitsPerPixel(), big);
    Put32(s, 392, h.Line(), big);
    Put32(s, 396, h.order, big);
    Put32(s, 400, h.space, big);
    if (version == 't') return s;
    Put32(s, 420, h.colours, big);
    Put32(s, 428, std::bit_cast<uint32_t>(h.exactWidth), big);
    Put32(s, 432, std::bit_cast<uint32_t>(h.exactLength), big);
    return s;
}

// An Apple Raster page header: bits per pixel, colour space code, duplex
// code (1 one-sided, 2 short edge, 3 long edge), then width, height and
// resolution.
inline std::string UrfHeader(uint8_t bitsPerPixel, uint8_t space, uint8_t duplex, uint32_t width, uint32_t height,
                             uint32_t resolution) {
    std::string s(32, '\0');
    s[0] = static_cast<char>(bitsPerPixel);
    s[1] = static_cast<char>(space);
    s[2] = static_cast<char>(duplex);
    Put32(s, 12, width, true);
    Put32(s, 16, height, true);
    Put32(s, 20, resolution, true);
    return s;
}

inline std::string UrfFile(uint32_t pages) { return std::string("UNIRAST\0", 8) + Be32(pages); }

// All rows of a page, each line the unit `unit` repeated, run coded: one
// line record that repeats for every row, a literal run of two units, then
// one repeated unit for the rest of the line.
inline std::string CodedRows(uint32_t rows, uint32_t line, const std::string& unit) {
    const uint32_t units = line / static_cast<uint32_t>(unit.size());
    std::string s(1, static_cast<char>(rows - 1));
    s += static_cast<char>(257 - 2);
    s += unit + unit;
    s += static_cast<char>(units - 3);
    s += unit;
    return s;
}

// The same rows stored as they are.
inline std::string PlainRows(uint32_t rows, uint32_t line, const std::string& unit) {
    std::string s;
    for (uint32_t i = 0; i < rows * line / unit.size(); ++i) s += unit;
    return s;
}

}  // namespace qmtest::raster
