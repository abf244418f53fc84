#include "pcl/pcl_accurate_colour.h"

#include <algorithm>
#include <cstring>

#include "pcl/raster_accurate.h"

namespace qm::pclaccurate {
namespace {

constexpr uint32_t kMaxRowBytes = 1u << 16;      // a plane's row; wider rows are cut
constexpr uint32_t kDefaultRowBytes = 1u << 11;  // when the job gives no raster width
constexpr int kNearLossless = 10;

Ink Combine(Ink a, Ink b) noexcept { return std::max(a, b); }

// Bit planes a component with this many intensity levels takes.
uint32_t PlanesFor(uint32_t levels) noexcept {
    uint32_t n = 1;
    while (n < 16 && (1u << n) < levels) ++n;
    return n;
}

// The default palettes: entry i of the eight-entry palette has its
// primaries from bits 0, 1 and 2 of i, so 0 and 7 are black and white
// and the others colours; a two-entry palette is white and black.
bool DefaultEntryIsColour(uint32_t entries, uint32_t i) noexcept { return entries > 2 && i > 0 && i < 7; }

}  // namespace

Pcl5Colour::Pcl5Colour() { Reset(); }

void Pcl5Colour::Reset() {
    blankByte_ = 0;
    blackFirst_ = false;
    space_ = 0;
    encoding_ = 0;
    bitsPerIndex_ = bitsPerPrimary_ = 1;
    component_[0] = component_[1] = component_[2] = 0;
    foreground_ = Ink::Neutral;
    colourPattern_ = false;
    width_ = 0;
    method_ = 0;
    SetPalette(1, false);
    layout_ = Layout::Mono;
    planes_ = 1;
    ResizeRows();
}

void Pcl5Colour::SetPalette(uint32_t bits, bool kcmy) {
    entries_ = 1u << std::min<uint32_t>(bits, 8);
    colourEntries_ = 0;
    for (uint32_t i = 0; i < 256; ++i) {
        // KCMY: bit 0 black, bits 1 to 3 cyan, magenta and yellow.
        const uint32_t cmy = (i >> 1) & 7;
        colourEntry_[i] = i < entries_ && (kcmy ? cmy != 0 && cmy != 7 : DefaultEntryIsColour(entries_, i));
        colourEntries_ += colourEntry_[i] ? 1 : 0;
    }
}

void Pcl5Colour::SimpleColour(int64_t mode) {
    foreground_ = Ink::Neutral;
    blankByte_ = 0;
    blackFirst_ = false;
    if (mode == 3 || mode == -3) {
        SetPalette(3, false);
        layout_ = Layout::Planes;
        planes_ = 3;
        firstColourPlane_ = 0;
    } else if (mode == -4) {
        SetPalette(4, true);
        layout_ = Layout::Planes;
        planes_ = 4;
        firstColourPlane_ = 1;
    } else {
        SetPalette(1, false);
        layout_ = Layout::Mono;
        planes_ = 1;
    }
    planesPerColour_ = 1;
    ResizeRows();
}

void Pcl5Colour::ConfigureImage(Bytes data) {
    if (data.size < 6) {
        layout_ = Layout::Unknown;
        return;
    }
    blankByte_ = 0;
    blackFirst_ = false;
    space_ = data[0];
    encoding_ = data[1];
    bitsPerIndex_ = std::clamp<uint32_t>(data[2], 1, 8);
    bitsPerPrimary_ = data[3];
    foreground_ = Ink::Neutral;
    const bool indexed = encoding_ == 0 || encoding_ == 1;
    SetPalette(indexed ? bitsPerIndex_ : 3, false);
    const bool greyTest = space_ <= 2;  // RGB or CMY: grey where the primaries agree
    planesPerColour_ = 1;
    firstColourPlane_ = 0;
    if (encoding_ == 0) {
        layout_ = Layout::IndexedPlanes;
        planes_ = bitsPerIndex_;
    } else if (encoding_ == 1 && (bitsPerIndex_ == 1 || bitsPerIndex_ == 2 || bitsPerIndex_ == 4 || bitsPerIndex_ == 8)) {
        layout_ = Layout::IndexedPixels;
        planes_ = 1;
    } else if (encoding_ == 2 && bitsPerPrimary_ == 1 && greyTest) {
        layout_ = Layout::Planes;
        planes_ = 3;
    } else if (encoding_ == 3 && bitsPerPrimary_ == 8 && data[4] == 8 && data[5] == 8 && greyTest) {
        layout_ = Layout::DirectPixels;
        planes_ = 1;
    } else {
        layout_ = Layout::Unknown;
        planes_ = 1;
    }
    ResizeRows();
}

// Format 6: a 16-bit component count, then per component its horizontal
// and vertical resolution (16 bits each), compression method, orientation,
// bits per pixel and planes. Inkjets of this kind send one component of
// 24-bit RGB pixels in near-lossless rows, whose seed starts white; hpcups's
// PCL3GUI may put a component of 1-bit black before it, sent as each row's
// first plane (ESC * b # V), the RGB one ending the row.
bool Pcl5Colour::ConfigureDirectRgb(Bytes data) {
    constexpr uint32_t kHeader = 4, kComponent = 8;
    const uint32_t components = data.has(0, kHeader) ? data.be16(2) : 0;
    const bool black = components == 2 && data.has(0, kHeader + 2 * kComponent) && data[kHeader + 6] == 1 &&
                       data[kHeader + 7] == 1;
    const uint32_t rgb = black ? kHeader + kComponent : kHeader;
    if ((components != 1 && !black) || !data.has(rgb, kComponent) || data[rgb + 4] != kNearLossless ||
        data[rgb + 7] != 1)
        return false;
    blackFirst_ = black;
    layout_ = Layout::DirectPixels;
    planes_ = 1;
    firstColourPlane_ = 0;
    planesPerColour_ = 1;
    method_ = kNearLossless;
    blankByte_ = 0xFF;
    ResizeRows();
    return true;
}

void Pcl5Colour::ConfigureRaster(Bytes data) {
    blankByte_ = 0;
    blackFirst_ = false;
    dirty_ = true;  // the rows may hold another blank until they are resized
    if (data.size > 0 && data[0] == 6) {
        if (!ConfigureDirectRgb(data)) layout_ = Layout::Unknown;
        return;
    }
    // Format 2: the number of components, then per component its horizontal
    // and vertical resolution and its intensity levels (16 bits each). A
    // component of finer vertical resolution sends as many rows per row of
    // the coarsest one, each a set of bit planes.
    layout_ = Layout::Unknown;
    if (data.size < 2 || data[0] != 2) return;
    const uint32_t n = data[1];
    if (n == 0 || n > 4 || !data.has(2, 6 * n)) return;
    uint32_t coarsest = UINT32_MAX;
    for (uint32_t k = 0; k < n; ++k) coarsest = std::min<uint32_t>(coarsest, data.be16(2 + 6 * k + 2));
    if (coarsest == 0) return;
    uint32_t per[4] = {};
    uint32_t total = 0;
    for (uint32_t k = 0; k < n; ++k) {
        const uint32_t rows = data.be16(2 + 6 * k + 2) / coarsest;
        per[k] = PlanesFor(data.be16(2 + 6 * k + 4)) * std::max(rows, 1u);
        total += per[k];
    }
    if (total > kMaxPlanes) return;
    planes_ = total;
    if (n == 1) {
        layout_ = Layout::Mono;
    } else if (n >= 3) {
        const uint32_t c = n - 3;  // the first colour component: after black, when there is one
        if (per[c] != per[c + 1] || per[c] != per[c + 2]) return;
        layout_ = Layout::Planes;
        firstColourPlane_ = c == 1 ? per[0] : 0;
        planesPerColour_ = per[c];
    }
    ResizeRows();
}

void Pcl5Colour::Component(int which, int64_t v) noexcept { component_[which] = v; }

void Pcl5Colour::Assign(int64_t index) noexcept {
    const int64_t* c = component_;
    // Lab and luminance-chrominance: grey where the two chroma values are 0.
    const bool colour = space_ >= 3 ? (c[1] != 0 || c[2] != 0) : (c[0] != c[1] || c[1] != c[2]);
    if (index >= 0 && static_cast<uint64_t>(index) < entries_) {
        const size_t i = static_cast<size_t>(index);
        colourEntries_ += (colour ? 1 : 0) - (colourEntry_[i] ? 1 : 0);
        colourEntry_[i] = colour;
    }
    component_[0] = component_[1] = component_[2] = 0;
}

void Pcl5Colour::Foreground(int64_t index) noexcept {
    if (index < 0) return;
    foreground_ = colourEntry_[static_cast<uint64_t>(index) % entries_] ? Ink::Colour : Ink::Neutral;
}

void Pcl5Colour::Pattern(Bytes data) noexcept {
    if (data.size > 0 && data[0] == 1) colourPattern_ = true;  // format 1: pixels are palette indices
}

void Pcl5Colour::Rule(int64_t pattern) noexcept {
    if (pattern == 1) return;  // white: nothing printed
    Paint((pattern == 4 || pattern == 5) && colourPattern_ ? Ink::Unknown : foreground_);
}

void Pcl5Colour::Hpgl(bool draws, bool penColour) noexcept {
    // Pens are palette entries: with no colour entry and no pen given a
    // colour of its own, a drawing can only be grey.
    if (draws) Paint(penColour || colourEntries_ > 0 ? Ink::Unknown : Ink::Neutral);
}

void Pcl5Colour::Paint(Ink ink) noexcept { page_ = Combine(page_, ink); }

Ink Pcl5Colour::TakePage() noexcept {
    const Ink ink = page_;
    page_ = Ink::None;
    ClearRows();  // an ejected page ends its raster: the next starts from blank rows
    return ink;
}

void Pcl5Colour::ResizeRows() {
    uint64_t bytes = kDefaultRowBytes;
    if (width_ > 0) {
        const uint64_t w = static_cast<uint64_t>(width_);
        bytes = layout_ == Layout::DirectPixels  ? w * 3
                : layout_ == Layout::IndexedPixels ? (w * bitsPerIndex_ + 7) / 8
                                                   : (w + 7) / 8;
    } else if (layout_ == Layout::DirectPixels) {
        bytes = kDefaultRowBytes * 3;
    }
    rowBytes_ = static_cast<uint32_t>(std::min<uint64_t>(bytes, kMaxRowBytes));
    if (layout_ == Layout::Mono || layout_ == Layout::Unknown) {
        rows_.clear();
        rowBytes_ = 0;
    } else {
        rows_.assign(size_t{rowBytes_} * std::min(planes_, kMaxPlanes), blankByte_);
    }
    dirty_ = false;
    isLazy_.fill(false);
    extent_.fill(0);
    blank_.fill(true);
    stale_ = false;
    plane_ = 0;
}

void Pcl5Colour::Width(int64_t pixels) {
    width_ = std::clamp<int64_t>(pixels, 0, int64_t{kMaxRowBytes} * 8);
    ResizeRows();
}

void Pcl5Colour::ClearRows() noexcept {
    if (dirty_) std::fill(rows_.begin(), rows_.end(), blankByte_);
    dirty_ = false;
    isLazy_.fill(false);
    extent_.fill(0);
    blank_.fill(true);
    stale_ = false;
    plane_ = 0;
}

void Pcl5Colour::StartRaster() noexcept { ClearRows(); }

void Pcl5Colour::SkipRows() noexcept { ClearRows(); }


pclraster::Row Pcl5Colour::RowOf(uint32_t plane) noexcept {
    dirty_ = true;
    return pclraster::Row(rows_.data() + size_t{plane} * rowBytes_, rowBytes_);
}

void Pcl5Colour::Materialise(uint32_t plane) noexcept {
    if (!isLazy_[plane]) return;
    isLazy_[plane] = false;
    pclraster::Written w;
    pclraster::DecodeRow(lazy_[plane].method, lazy_[plane].data, RowOf(plane), &w);
    extent_[plane] = w.end;
}

// Planes whose content the colour test reads (black's never is).
bool Pcl5Colour::ColourPlane(uint32_t plane) const noexcept {
    return layout_ != Layout::Planes || plane >= firstColourPlane_;
}

// A row whose every plane is written without a seed can be known grey from
// its data alone: only zeros on the colour planes of a printer with black
// ink, the same bytes on each of cyan, magenta and yellow (or red, green
// and blue) of one without, or nothing at all where index 0 is grey.
bool Pcl5Colour::NeutralUndecoded() const noexcept {
    const auto empty = [&](uint32_t from) {
        for (uint32_t p = from; p < planes_; ++p)
            if (row_[p].data.size > 0) return false;
        return true;
    };
    switch (layout_) {
        case Layout::Planes:
            if (firstColourPlane_ > 0) {
                for (uint32_t p = firstColourPlane_; p < planes_; ++p)
                    if (!pclraster::WritesOnlyZeros(row_[p].method, row_[p].data)) return false;
                return true;
            }
            for (uint32_t k = 0; k < planesPerColour_; ++k) {
                const Sent& c = row_[k];
                for (const Sent& o : {row_[k + planesPerColour_], row_[k + 2 * planesPerColour_]}) {
                    if (o.method != c.method || o.data.size != c.data.size ||
                        (c.data.size > 0 && std::memcmp(o.data.data, c.data.data, c.data.size) != 0))
                        return false;
                }
            }
            return true;
        case Layout::IndexedPlanes:
        case Layout::IndexedPixels:
            return colourEntries_ == 0 || (!colourEntry_[0] && empty(0));
        case Layout::DirectPixels:
            return empty(0);
        default:
            return false;
    }
}

void Pcl5Colour::Whole(Bytes data) {
    if (layout_ == Layout::Unknown) {
        if (data.size > 0) Paint(Ink::Unknown);
        return;
    }
    Adaptive(data);
}

// Adaptive compression: a block of rows of one plane, each a method byte (0
// to 3 a row so coded, 4 blank rows, 5 the row again) and a 16-bit length.
void Pcl5Colour::Adaptive(Bytes data) {
    if (planes_ != 1) {
        if (data.size > 0) Paint(Ink::Unknown);
        return;
    }
    Materialise(0);
    const pclraster::Row row = RowOf(0);
    for (uint32_t k = 0; data.has(k, 3); k += 3) {
        const uint8_t m = data[k];
        const uint32_t n = data.be16(k + 1);
        if (m <= 3) {
            const uint32_t take = std::min(n, data.left(k + 3));
            pclraster::Written w;
            pclraster::DecodeRow(m, Bytes(data.data + k + 3, take), row, &w);
            extent_[0] = m == 3 ? std::max(extent_[0], w.end) : w.end;
            k += take;
        } else if (m == 4) {
            std::fill(row.begin(), row.end(), 0);
            extent_[0] = 0;
        } else if (m != 5) {
            Paint(Ink::Unknown);
            return;
        }
        if (page_ != Ink::Colour && RowColour(0, Used())) page_ = Ink::Colour;
    }
}

void Pcl5Colour::EndRow() {
    const uint32_t planes = std::min(planes_, kMaxPlanes);
    for (uint32_t p = plane_; p < planes; ++p) row_[p] = {};  // planes not sent are blank
    plane_ = 0;
    bool seeded = false;  // a method that builds on the previous row
    for (uint32_t p = 0; p < planes; ++p) {
        const int m = row_[p].method;
        seeded = seeded || m == 3 || m == 9 || m == kNearLossless;
    }
    if (!seeded) {
        // Each plane follows from its data alone: decoded only when the
        // page's answer needs it.
        const bool decode = page_ != Ink::Colour && !NeutralUndecoded();
        for (uint32_t p = 0; p < planes; ++p) {
            if (decode && ColourPlane(p)) {
                isLazy_[p] = false;
                pclraster::Written w;
                pclraster::DecodeRow(row_[p].method, row_[p].data, RowOf(p), &w);
                extent_[p] = w.end;
            } else {
                isLazy_[p] = true;
                lazy_[p] = row_[p];
            }
        }
        if (decode && RowColour(0, Used())) page_ = Ink::Colour;
        // Grey rows of a printer with black ink leave its colour planes blank.
        const bool blank = page_ != Ink::Colour && firstColourPlane_ > 0 && layout_ == Layout::Planes;
        for (uint32_t p = 0; p < planes; ++p) blank_[p] = blank;
        stale_ = false;
        return;
    }
    if (page_ == Ink::Colour) {
        stale_ = true;  // the rest of the page changes nothing; its seeds are not kept
        return;
    }
    // A printer with black ink: a blank colour plane that the row writes
    // only zeros into stays blank, and the row stays grey.
    if (firstColourPlane_ > 0 && layout_ == Layout::Planes) {
        bool grey = true;
        for (uint32_t p = firstColourPlane_; p < planes && grey; ++p)
            grey = blank_[p] && pclraster::WritesOnlyZeros(row_[p].method, row_[p].data);
        if (grey) {
            for (uint32_t p = 0; p < firstColourPlane_; ++p) isLazy_[p] = false;
            return;
        }
    }
    if (stale_) {
        // Rows built on seeds this reading did not keep: what they print is
        // not known until the raster starts again.
        Paint(Ink::Unknown);
        return;
    }
    // Only bytes the row changed can turn a grey row colour, once a row has
    // been judged: the first row built on blank rows prints its blank bytes
    // too (palette index 0 where the rows are indexed).
    const bool onBlank = Used() == 0;
    uint32_t from = UINT32_MAX, to = 0;
    for (uint32_t p = 0; p < planes; ++p) {
        if (!ColourPlane(p)) {
            isLazy_[p] = false;  // black's rows are never read
            continue;
        }
        const Sent& s = row_[p];
        const bool seed = s.method == 3 || s.method == 9 || s.method == kNearLossless;
        if (seed && s.data.size == 0) continue;  // the row repeats
        const uint32_t before = extent_[p];
        Materialise(p);
        pclraster::Written w;
        if (!pclraster::DecodeRow(s.method, s.data, RowOf(p), &w)) Paint(Ink::Unknown);
        extent_[p] = seed ? std::max(extent_[p], w.end) : w.end;
        if (s.method == kNearLossless && layout_ == Layout::DirectPixels) {
            // The row was grey, and its decoding saw each pixel it wrote.
            if (w.notGrey) page_ = Ink::Colour;
            continue;
        }
        // A row without a seed also clears what the plane held past its end.
        const uint32_t end = seed ? w.end : std::max(before, w.end);
        if (w.begin < end) {
            from = std::min(from, w.begin);
            to = std::max(to, end);
        }
    }
    if (from < to) {
        if (onBlank) from = 0;
        for (uint32_t p = 0; p < planes; ++p)
            if (ColourPlane(p)) Materialise(p);
        if (RowColour(from, to)) page_ = Ink::Colour;
    }
    // Grey rows of a printer with black ink leave its colour planes blank.
    const bool blank = page_ != Ink::Colour && firstColourPlane_ > 0 && layout_ == Layout::Planes;
    for (uint32_t p = 0; p < planes; ++p) blank_[p] = blank && !isLazy_[p];
}

uint32_t Pcl5Colour::Used() const noexcept {
    uint32_t used = 0;
    for (uint32_t p = 0; p < std::min(planes_, kMaxPlanes); ++p) used = std::max(used, extent_[p]);
    return used;
}

bool Pcl5Colour::RowColour(uint32_t from, uint32_t to) const noexcept {
    const uint8_t* r = rows_.data();
    const size_t n = rowBytes_;
    const uint32_t planes = std::min(planes_, kMaxPlanes);
    to = std::min(to, rowBytes_);
    if (from >= to) return false;
    const uint32_t bytes = to - from;
    switch (layout_) {
        case Layout::Planes:
            if (firstColourPlane_ > 0) {
                // A printer with black ink prints grey with it: any dot on a
                // colour plane is colour ink.
                for (uint32_t p = firstColourPlane_; p < planes; ++p)
                    if (!pclraster::AllZero(r + p * n + from, bytes)) return true;
                return false;
            }
            // Without black, grey is made of the three: it is grey where they
            // agree. The layout holds exactly three colours' planes.
            for (uint32_t k = 0; k < planesPerColour_; ++k) {
                const uint32_t c = k, m = c + planesPerColour_, y = m + planesPerColour_;
                if (!pclraster::PlanesAgree(r + c * n + from, r + m * n + from, r + y * n + from, bytes)) return true;
            }
            return false;
        case Layout::IndexedPlanes: {
            if (colourEntries_ == 0) return false;
            // Past the planes' extent every index is 0.
            if (colourEntry_[0] && from == 0 && Used() < rowBytes_) return true;
            for (uint32_t b = from; b < to; ++b) {
                uint8_t any = 0;
                for (uint32_t p = 0; p < planes; ++p) any |= r[p * n + b];
                if (any == 0 && !colourEntry_[0]) continue;
                for (int bit = 7; bit >= 0; --bit) {
                    uint32_t index = 0;
                    for (uint32_t p = 0; p < planes; ++p) index |= ((r[p * n + b] >> bit) & 1u) << p;
                    if (colourEntry_[index]) return true;
                }
            }
            return false;
        }
        case Layout::IndexedPixels: {
            if (colourEntries_ == 0) return false;
            if (colourEntry_[0] && from == 0 && Used() < rowBytes_) return true;
            const uint32_t bits = bitsPerIndex_, mask = (1u << bits) - 1;
            for (uint32_t bit = from * 8; bit + bits <= to * 8; bit += bits)
                if (colourEntry_[(r[bit >> 3] >> (8 - bits - (bit & 7))) & mask]) return true;
            return false;
        }
        case Layout::DirectPixels: {
            const uint32_t first = from / 3, last = std::min((to + 2) / 3, rowBytes_ / 3);
            return !pclraster::RgbNeutral(r + first * 3, last - first, method_ == kNearLossless ? 1 : 0);
        }
        default:
            return false;
    }
}

}  // namespace qm::pclaccurate
