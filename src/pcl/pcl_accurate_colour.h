// What a PCL 5 page prints in: the foreground colour of text and rules, the
// palette entries and pixels its raster rows use, and the pens of its
// HP-GL/2 drawings. The PCL reading tells it each command it meets; it
// decodes raster rows only while they can still change the page's answer.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "jobfile/bytes.h"
#include "pcl/raster_accurate.h"

namespace qm::pclaccurate {

inline constexpr uint32_t kMaxPlanes = 16;

// What a page has drawn; a later value wins over an earlier one in Combine.
enum class Ink : uint8_t { None, Neutral, Unknown, Colour };

class Pcl5Colour {
public:
    Pcl5Colour();

    // The palette and colour configuration.
    void SimpleColour(int64_t mode);     // ESC * r # U
    void ConfigureImage(Bytes data);     // ESC * v # W
    void ConfigureRaster(Bytes data);    // ESC * g # W
    void Component(int which, int64_t v) noexcept;  // ESC * v # A, B, C (0, 1, 2)
    void Assign(int64_t index) noexcept;           // ESC * v # I
    void Foreground(int64_t index) noexcept;       // ESC * v # S
    void Pattern(Bytes data) noexcept;             // ESC * c # W: a user pattern's data
    void Reset();                                  // ESC E

    // What is drawn.
    void Text() noexcept { Paint(foreground_); }
    // Could text still change the page's answer?
    bool TextMatters() const noexcept { return foreground_ > page_; }
    void Rule(int64_t pattern) noexcept;  // ESC * c # P
    void Hpgl(bool draws, bool penColour) noexcept;

    // Raster graphics.
    void StartRaster() noexcept;       // ESC * r # A, and its end: seed rows cleared
    void Width(int64_t pixels);        // ESC * r # S
    void Method(int64_t method) noexcept { method_ = static_cast<int>(method); }  // ESC * b # M
    void SkipRows() noexcept;          // ESC * b # Y
    void Plane(Bytes data, bool last) {  // ESC * b # V (last false) or # W (last true)
        if (layout_ == Layout::Mono || (blackFirst_ && !last)) return;  // hpcups's 1-bit black part
        if (layout_ == Layout::Unknown || method_ == kAdaptive) {
            Whole(data);
            return;
        }
        if (plane_ < planes_) {
            Sent& sent = row_[plane_];  // field by field: not built on the stack and copied whole
            sent.data = data;
            sent.method = method_;
        }
        ++plane_;
        if (last) EndRow();
    }
    // Is the raster's data worth handing over? False when no row can change
    // the page's answer (one plane of black, or a page already in colour):
    // the reading then steps over it. The page's end clears the rows, so
    // nothing of them outlives it.
    bool WantsRows() const noexcept { return layout_ != Layout::Mono && page_ != Ink::Colour; }

    // The page ejected: what it printed; the next page starts blank.
    Ink TakePage() noexcept;

private:
    enum class Layout : uint8_t {
        Mono,           // one plane of black, or nothing but grey entries
        Planes,         // colour components as bit planes: grey where they agree
        IndexedPlanes,  // palette indices spread over planes
        IndexedPixels,  // palette indices packed in one plane
        DirectPixels,   // three 8-bit primaries per pixel
        Unknown,        // a configuration this reading does not decode
    };

    void Paint(Ink ink) noexcept;
    void SetPalette(uint32_t bits, bool kcmy);
    bool ConfigureDirectRgb(Bytes data);
    void ResizeRows();
    // Does the row hold a colour pixel in bytes [from, to) of its planes?
    bool RowColour(uint32_t from, uint32_t to) const noexcept;
    uint32_t Used() const noexcept;
    void EndRow();
    void ClearRows() noexcept;
    pclraster::Row RowOf(uint32_t plane) noexcept;
    void Materialise(uint32_t plane) noexcept;
    bool ColourPlane(uint32_t plane) const noexcept;
    bool NeutralUndecoded() const noexcept;
    void Adaptive(Bytes data);
    void Whole(Bytes data);  // a plane whose data is not a row of the current layout
    static constexpr int kAdaptive = 5;

    // The palette: which entries are not grey, and the components given for
    // the next assignment.
    std::array<bool, 256> colourEntry_{};
    uint32_t entries_ = 2;
    uint32_t colourEntries_ = 0;
    int64_t component_[3] = {0, 0, 0};
    int space_ = 0;         // of the configured image data: 0 RGB, 1 CMY, 2 colorimetric RGB, 3 Lab, 4 YCC
    int encoding_ = 0;      // 0 indexed by plane, 1 by pixel, 2 direct by plane, 3 direct by pixel
    uint32_t bitsPerIndex_ = 1;
    uint32_t bitsPerPrimary_ = 1;
    Ink foreground_ = Ink::Neutral;
    bool colourPattern_ = false;

    // The raster: its planes and how their dots make pixels.
    Layout layout_ = Layout::Mono;
    uint32_t planes_ = 1;
    uint32_t firstColourPlane_ = 0;  // Planes: C (or R) starts here, then M, Y...
    uint32_t planesPerColour_ = 1;   // ...each with this many bit planes
    int64_t width_ = 0;              // pixels; 0: not given
    int method_ = 0;
    uint32_t rowBytes_ = 0;
    std::vector<uint8_t> rows_;      // one seed row per plane
    bool dirty_ = false;             // rows_ written since they were last blank
    uint8_t blankByte_ = 0;          // what a seed row starts as: 0, or white RGB pixels
    bool blackFirst_ = false;        // each row's planes before its last are black ink, never read
    uint32_t plane_ = 0;             // the next plane of the current row
    // The current row's data, plane by plane, decoded when the row ends.
    struct Sent {
        Bytes data;
        int method = 0;
    };
    std::array<Sent, kMaxPlanes> row_{};
    // A plane whose row a method without a seed wrote is decoded only when
    // a later row builds on it: until then `lazy` holds its data.
    std::array<bool, kMaxPlanes> isLazy_{};
    std::array<uint32_t, kMaxPlanes> extent_{};  // past this a plane's row is blank
    std::array<bool, kMaxPlanes> blank_{};       // a plane's row is known to hold no dot
    std::array<Sent, kMaxPlanes> lazy_{};
    bool stale_ = false;    // seed rows left undecoded on a page already in colour

    Ink page_ = Ink::None;
};

}  // namespace qm::pclaccurate
