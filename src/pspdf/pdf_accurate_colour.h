// Does a PDF print in colour? Reads each page's content and what it draws
// (forms, images, patterns, shadings, printed annotations) and looks at the
// colours it sets: a colour space alone proves nothing, a non-neutral value
// does. Work is bounded; past the bound, or where a colour cannot be
// decided, the answer is "unknown", never "mono".
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "pspdf/pdf_accurate_document.h"

namespace qm::pdf {

inline constexpr uint64_t kMaxColourOperators = 20'000'000;  // content operators read over the document
inline constexpr int kMaxFormDepth = 12;                        // forms and patterns drawn inside each other
inline constexpr uint64_t kColourParseFactor = 16;              // objects parsed: at most this many times the file

class ColourCheck {
public:
    explicit ColourCheck(Document& doc) : doc_(doc) {}

    // One page, with the resources it inherits from the tree (null: none).
    void page(const Value& page, const Value* inheritedResources);
    // Content given directly (tests): operators over `resources`.
    void content(std::string_view data, const Value& resources, int depth);

    bool colour() const noexcept { return colour_; }
    // Nothing non-neutral found, but something could not be decided.
    bool unknown() const noexcept { return unknown_ && !colour_; }

    // A colour space reduced to what neutrality depends on.
    struct Space {
        enum Family : uint8_t { Gray, Rgb, Cmyk, Lab, Indexed, Spot, Pattern, Unknown } family = Gray;
        Family base = Gray;       // Indexed and Pattern: the underlying family
        uint8_t baseComponents = 1;
        std::string palette;      // Indexed: the lookup table
        std::string neutralMask;  // Spot: one byte per component, 1 where the colorant is neutral (Black, All, None)
    };
    Space space(const Value& cs, const Value& resources, int depth);

private:
    bool neutral(const Space& s, const double* v, size_t n, const std::string* patternName, const Value& resources,
                 int depth);
    void xobject(const Value& ref, const Value& resources, int depth);
    void image(const Object& image, const Value& resources, int depth);
    void pattern(const Value& pattern, int depth);
    bool shadingNeutral(const Value& shading, const Value& resources, int depth);
    void stream(const Object& s, const Value& resources, int depth);
    void inlineImage(Parser& p, const Value& resources, int depth);
    void operate(std::string_view op, const double* v, size_t n, const std::string* name, Space& fill, Space& stroke,
                 const Value& resources, int depth);

    Document& doc_;
    bool colour_ = false;
    bool unknown_ = false;
    uint64_t operators_ = 0;
    std::unordered_set<uint32_t> seen_;  // forms, images and patterns already looked at
};

}  // namespace qm::pdf
