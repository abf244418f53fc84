// Does a page of a PDF print in colour? Reads the page's content and what it
// draws (forms, images, patterns, shadings, printed annotations) and looks
// at the colours it sets: a colour space alone proves nothing, a
// non-neutral value does, and images count by their decoded pixels. Work is
// bounded; past the bound, or where a colour cannot be decided, the page's
// answer is "unknown", never "mono".
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "pspdf/pdf_accurate_document.h"
#include "quirometer/quirometer.h"

namespace qm::pdf {

inline constexpr uint64_t kMaxColourOperators = 20000000;  // content operators read over the document
inline constexpr int kMaxFormDepth = 12;                        // forms and patterns drawn inside each other
inline constexpr uint64_t kColourParseFactor = 16;              // objects parsed: at most this many times the file
inline constexpr uint64_t kMaxImagePixels = 64ull << 20;        // pixels of one image looked at

class ColourCheck {
public:
    explicit ColourCheck(Document& doc) : doc_(doc) {}

    // One page, with the resources it inherits from the tree (null: none):
    // QM_PAGE_MONO, QM_PAGE_COLOR or QM_PAGE_COLOR_UNKNOWN.
    uint8_t page(const Value& page, const Value* inheritedResources);
    // Content given directly: operators over `resources`; the verdict joins
    // the current page's.
    void content(std::string_view data, const Value& resources, int depth);
    // The verdict of what has been looked at since the last page began.
    uint8_t verdict() const noexcept;

    // A colour space reduced to what neutrality depends on.
    struct Space {
        enum Family : uint8_t { Gray, Rgb, Cmyk, Lab, Indexed, Spot, Pattern, Unknown } family = Gray;
        Family base = Gray;       // Indexed and Pattern: the underlying family
        uint8_t baseComponents = 1;
        std::string palette;      // Indexed: the lookup table
        // Spot (and Indexed over Spot): one byte per colorant, its kind of ink:
        // kNeutralInk, kCyan, kMagenta, kYellow or kSpotInk.
        std::string inks;
    };
    static constexpr char kNeutralInk = 0, kCyan = 1, kMagenta = 2, kYellow = 3, kSpotInk = 4;
    // The kind of ink a colorant name stands for: black, grey, all and none
    // print no colour; the process inks are colour only when unequal.
    static char InkOf(std::string_view name) noexcept;
    Space space(const Value& cs, const Value& resources, int depth);
    // Whether `n` values `v` of a space's own components are neutral
    // (Indexed: an index into the palette).
    static bool Neutral(const Space& s, const double* v, size_t n) noexcept;
    // Components of one value of the space (Indexed: 1); 0 for Pattern and Unknown.
    static size_t Components(const Space& s) noexcept;
    // The pixels of an image in space `s`: rows of `width` pixels, `bpc` bits
    // a component, mapped through `decode` (two numbers a component; null:
    // the space's default). QM_PAGE_MONO, QM_PAGE_COLOR, or
    // QM_PAGE_COLOR_UNKNOWN where the layout is not one images have.
    static uint8_t Samples(const Space& s, std::string_view data, int64_t width, int64_t bpc, const double* decode);

private:
    bool neutral(const Space& s, const double* v, size_t n, const std::string* patternName, const Value& resources,
                 int depth);
    template <class Look>
    void once(const Value& ref, Look&& look);
    void xobject(const Value& ref, const Value& resources, int depth);
    void image(const Object& image, const Value& resources, int depth);
    void samples(const Object& image, const Space& s, std::string_view data);
    void shading(const Value& shading, const Value& resources, int depth);
    uint8_t function(const Value& f, const Space& s, int depth);
    void stream(const Object& s, const Value& resources, int depth);
    void inlineImage(Parser& p, const Value& resources, int depth);
    void operate(std::string_view op, const double* v, size_t n, const std::string* name, Space& fill, Space& stroke,
                 const Value& resources, int depth);

    Document& doc_;
    bool colour_ = false;   // of the page being read
    bool unknown_ = false;
    bool exhausted_ = false;  // the budget is spent: pages left are unknown
    uint64_t operators_ = 0;
    // Forms, images, patterns and shadings already looked at, by object
    // number: their verdict, so a page that draws them again gets it too.
    std::unordered_map<uint32_t, uint8_t> verdicts_;
};

}  // namespace qm::pdf
