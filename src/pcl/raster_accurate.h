// Raster rows of PCL 5 and PCL XL decoded, for the colour a page prints:
// the row methods write into a row of fixed size (the seed row of the delta
// methods), never past it, and read nothing past their input.
#pragma once

#include <cstdint>
#include <span>

#include "jobfile/bytes.h"

namespace qm::pclraster {

using Row = std::span<uint8_t>;

// PCL 5 compression methods of ESC * b # M (the seed is the row's previous
// content): 0 unencoded, 1 run-length pairs, 2 TIFF PackBits, 3 delta row,
// 9 replacement delta row, 10 near-lossless replacement of RGB pixels.
// Methods 0 to 2 clear what the data leaves; the delta methods keep it.
// False for a method these do not know (the row is left as it was).
// `written`, when given, receives the part of the row the data changed:
// all of it up to `end` for the methods without a seed (the rest cleared),
// begin == end when nothing was written. Method 10 also tells whether a
// pixel it wrote is not grey (primaries more than one apart): a row built
// from grey pixels and this data is grey exactly when none is.
struct Written {
    uint32_t begin = 0, end = 0;
    bool notGrey = false;
};
bool DecodeRow(int method, Bytes in, Row row, Written* written = nullptr) noexcept;

// Does the data write nothing but zero bytes (method 0 to 3 or 9)? A
// blank plane such data leaves blank, without being decoded.
bool WritesOnlyZeros(int method, Bytes in) noexcept;

// The delta-row commands PCL XL's DeltaRow rows use too: count and offset
// in one byte, the offset extended by following bytes while they are 255.
uint32_t DeltaRow(Bytes in, Row row) noexcept;  // returns where the written part ends

// TIFF PackBits as a stream, for PCL XL's RLE blocks, whose runs are not cut
// at rows: Next fills `row` from where the last call stopped and says
// whether it is full.
struct PackBitsStream {
    Bytes in;
    uint32_t at = 0;
    uint32_t literal = 0;  // literal bytes still to copy
    uint32_t repeat = 0;   // copies of `value` still to write
    uint8_t value = 0;

    bool Next(Row row) noexcept;
};

// Neutral tests over decoded pixels. RGB triplets (or CMY) are neutral when
// their three components agree; `slack` lets them differ by that much (the
// near-lossless method keeps seven bits of blue).
// RgbNeutral compares eight pixels at a time with wide loads; RgbNeutralPlain
// is its pixel-by-pixel form, which the tests hold it to.
bool RgbNeutral(const uint8_t* pixels, uint32_t count, int slack = 0) noexcept;
bool RgbNeutralPlain(const uint8_t* pixels, uint32_t count, int slack = 0) noexcept;
// Bit planes of the three colour components agree at every dot.
bool PlanesAgree(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint32_t bytes) noexcept;
bool AllZero(const uint8_t* bytes, uint32_t count) noexcept;

}  // namespace qm::pclraster
