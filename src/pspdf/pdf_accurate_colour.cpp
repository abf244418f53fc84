// The colour check of the accurate PDF reader.
#include "pspdf/pdf_accurate_colour.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "pspdf/pdf_accurate_jpeg.h"

namespace qm::pdf {
namespace {

// Components this close are equal: eight steps of 8-bit colour, as far as
// colour management moves a grey (poppler and cairo write a CMYK black as
// an RGB near-black) and as the rendering that checks the truth allows.
constexpr double kNeutralSlack = 8.0 / 255;
constexpr int kNeutralSteps = 8;

using Space = ColourCheck::Space;

// Colour spaces named by one name, inline image abbreviations included.
struct NamedSpace {
    std::string_view name;
    Space::Family family;
};
constexpr NamedSpace kNamedSpaces[] = {
    {"DeviceGray", Space::Gray}, {"G", Space::Gray},        {"CalGray", Space::Gray},
    {"DeviceRGB", Space::Rgb},   {"RGB", Space::Rgb},       {"CalRGB", Space::Rgb},
    {"DeviceCMYK", Space::Cmyk}, {"CMYK", Space::Cmyk},     {"Lab", Space::Lab},
    {"Pattern", Space::Pattern},
};

int FamilyComponents(Space::Family f) noexcept {
    switch (f) {
        case Space::Gray: return 1;
        case Space::Rgb: case Space::Lab: return 3;
        case Space::Cmyk: return 4;
        default: return 0;
    }
}

// Neutral values of a device-like family; Lab values are L, a, b. CMYK is
// neutral when its cyan, magenta and yellow are equal (rich black included).
bool NeutralValues(Space::Family f, const double* v, size_t n) noexcept {
    switch (f) {
        case Space::Gray: return n >= 1;
        case Space::Rgb:
            return n >= 3 && std::fabs(v[0] - v[1]) <= kNeutralSlack && std::fabs(v[1] - v[2]) <= kNeutralSlack;
        case Space::Cmyk:
            return n >= 4 && std::fabs(v[0] - v[1]) <= kNeutralSlack && std::fabs(v[1] - v[2]) <= kNeutralSlack;
        case Space::Lab: return n >= 3 && std::fabs(v[1]) < 1 && std::fabs(v[2]) < 1;
        default: return false;
    }
}

bool SameNoCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
    return true;
}

}  // namespace

char ColourCheck::InkOf(std::string_view name) noexcept {
    if (SameNoCase(name, "Black") || SameNoCase(name, "All") || SameNoCase(name, "None") ||
        SameNoCase(name, "Gray") || SameNoCase(name, "Grey")) {
        return ColourCheck::kNeutralInk;
    }
    if (SameNoCase(name, "Cyan")) return ColourCheck::kCyan;
    if (SameNoCase(name, "Magenta")) return ColourCheck::kMagenta;
    if (SameNoCase(name, "Yellow")) return ColourCheck::kYellow;
    return ColourCheck::kSpotInk;
}

namespace {

bool NeutralInks(const std::string& inks, const double* v, size_t n) noexcept {
    std::array<double, 4> process{};  // by ink: neutral, cyan, magenta, yellow
    for (size_t k = 0; k < inks.size(); ++k) {
        const double tint = k < n ? v[k] : 1.0;
        if (inks[k] == ColourCheck::kSpotInk && tint > kNeutralSlack) return false;
        process[static_cast<uint8_t>(inks[k]) & 3] = std::max(process[static_cast<uint8_t>(inks[k]) & 3], tint);
    }
    return std::fabs(process[1] - process[2]) <= kNeutralSlack && std::fabs(process[2] - process[3]) <= kNeutralSlack;
}

Space Rgb() {
    Space s;
    s.family = Space::Rgb;
    return s;
}
Space Cmyk() {
    Space s;
    s.family = Space::Cmyk;
    return s;
}

constexpr uint8_t kPending = 0xFF;  // a verdict being made (a form that draws itself)

}  // namespace

Space ColourCheck::space(const Value& in, const Value& resources, int depth) {
    Space s;
    s.family = Space::Unknown;
    if (depth > kMaxFormDepth) return s;
    Object holder;
    const Value& cs = doc_.resolve(in, holder);
    if (cs.kind == Kind::Name) {
        for (const NamedSpace& n : kNamedSpaces) {
            if (cs.text == n.name) {
                s.family = n.family;
                return s;
            }
        }
        // A resource name.
        Object rh, ch;
        const Value& spaces = doc_.lookup(resources, "ColorSpace", rh);
        const Value& named = doc_.lookup(spaces, cs.text, ch);
        if (named.isNull() || (named.kind == Kind::Name && named.text == cs.text)) return s;
        return space(named, resources, depth + 1);
    }
    if (cs.kind != Kind::Array || cs.items.empty() || cs.items[0].kind != Kind::Name) return s;
    const std::string& family = cs.items[0].text;
    if (cs.items.size() == 1) return space(cs.items[0], resources, depth + 1);
    if (family == "CalGray") s.family = Space::Gray;
    else if (family == "CalRGB") s.family = Space::Rgb;
    else if (family == "Lab") s.family = Space::Lab;
    else if (family == "ICCBased") {
        Object icc;
        const Value& stream = doc_.resolve(cs.items[1], icc);
        const Value* n = stream.get("N");
        const int64_t comps = n && n->kind == Kind::Int ? n->integer : 0;
        s.family = comps == 1 ? Space::Gray : comps == 3 ? Space::Rgb : comps == 4 ? Space::Cmyk : Space::Unknown;
    } else if ((family == "Indexed" || family == "I") && cs.items.size() >= 4) {
        const Space base = space(cs.items[1], resources, depth + 1);
        s.base = base.family;
        s.inks = base.inks;
        s.baseComponents = static_cast<uint8_t>(base.family == Space::Spot ? base.inks.size() : FamilyComponents(base.family));
        if (s.baseComponents == 0 || s.base == Space::Lab) return s;
        Object lh;
        const Value& lookupTable = doc_.resolve(cs.items[3], lh);
        if (lookupTable.kind == Kind::String) {
            s.palette = lookupTable.text;
        } else if (!lh.stream || !doc_.decode(lh, s.palette, 1u << 20)) {
            return s;
        }
        s.family = Space::Indexed;
    } else if (family == "Separation" && cs.items[1].kind == Kind::Name) {
        s.family = Space::Spot;
        s.inks.assign(1, ColourCheck::InkOf(cs.items[1].text));
    } else if (family == "DeviceN") {
        Object nh;
        const Value& names = doc_.resolve(cs.items[1], nh);
        if (names.kind != Kind::Array || names.items.empty() || names.items.size() > 32) return s;
        s.family = Space::Spot;
        for (const Value& n : names.items) s.inks += n.kind == Kind::Name ? ColourCheck::InkOf(n.text) : kSpotInk;
    } else if (family == "Pattern") {
        s.family = Space::Pattern;
        const Space base = space(cs.items[1], resources, depth + 1);
        s.base = base.family;
        s.inks = base.inks;
    } else {
        return space(cs.items[0], resources, depth + 1);
    }
    return s;
}

bool ColourCheck::Neutral(const Space& s, const double* v, size_t n) noexcept {
    switch (s.family) {
        case Space::Gray: case Space::Rgb: case Space::Cmyk: case Space::Lab:
            return NeutralValues(s.family, v, n);
        case Space::Spot: return NeutralInks(s.inks, v, n);
        case Space::Indexed: {
            if (n < 1 || !(v[0] >= 0) || v[0] > 4095) return false;
            const size_t at = static_cast<size_t>(v[0] + 0.5) * s.baseComponents;
            // An index past the table is clipped to its last entry.
            const size_t last = s.palette.size() / s.baseComponents;
            if (last == 0) return false;
            const size_t from = at + s.baseComponents > s.palette.size() ? (last - 1) * s.baseComponents : at;
            double c[32];
            for (size_t k = 0; k < s.baseComponents && k < 32; ++k)
                c[k] = static_cast<uint8_t>(s.palette[from + k]) / 255.0;
            if (s.base == Space::Spot) return NeutralInks(s.inks, c, s.baseComponents);
            return NeutralValues(s.base, c, s.baseComponents);
        }
        default: return false;
    }
}

uint8_t ColourCheck::verdict() const noexcept {
    return colour_ ? QM_PAGE_COLOR : unknown_ ? QM_PAGE_COLOR_UNKNOWN : QM_PAGE_MONO;
}

// Looks at the object `ref` names once per document; a later page that draws
// it again gets the same verdict.
template <class Look>
void ColourCheck::once(const Value& ref, Look&& look) {
    if (ref.kind != Kind::Ref) {
        look();
        return;
    }
    const uint32_t key = static_cast<uint32_t>(ref.integer);
    const auto [at, fresh] = verdicts_.try_emplace(key, kPending);
    if (!fresh) {
        colour_ = colour_ || at->second == QM_PAGE_COLOR;
        unknown_ = unknown_ || at->second == QM_PAGE_COLOR_UNKNOWN;
        return;
    }
    const bool colour = colour_, unknown = unknown_;
    colour_ = unknown_ = false;
    look();
    verdicts_[key] = verdict();
    colour_ = colour_ || colour;
    unknown_ = unknown_ || unknown;
}

bool ColourCheck::neutral(const Space& s, const double* v, size_t n, const std::string* patternName,
                          const Value& resources, int depth) {
    switch (s.family) {
        case Space::Gray: case Space::Rgb: case Space::Cmyk: case Space::Lab: case Space::Spot: case Space::Indexed:
            return Neutral(s, v, n);
        case Space::Pattern: {
            if (patternName == nullptr) return false;
            Object ph, qh;
            const Value& patterns = doc_.lookup(resources, "Pattern", ph);
            const Value* ref = patterns.get(*patternName);
            if (ref == nullptr) {
                unknown_ = true;
                return true;
            }
            const Value& pat = doc_.resolve(*ref, qh);
            const Value* paint = pat.get("PaintType");
            // An uncoloured tiling pattern takes its colour from the values given.
            if (paint && paint->kind == Kind::Int && paint->integer == 2) {
                Space base = s;
                base.family = s.base;
                // Only the underlying family is kept, not a palette's entries.
                if (base.family == Space::Indexed) {
                    unknown_ = true;
                    return true;
                }
                return neutral(base, v, n, nullptr, resources, depth);
            }
            once(*ref, [&] {
                const Value* type = pat.get("PatternType");
                if (type && type->kind == Kind::Int && type->integer == 2) {
                    Object sh;
                    shading(doc_.lookup(pat, "Shading", sh), resources, depth);
                } else if (qh.stream) {
                    Object rh;
                    const Value& own = doc_.lookup(pat, "Resources", rh);
                    stream(qh, own.kind == Kind::Dict ? own : resources, depth + 1);
                } else {
                    unknown_ = true;
                }
            });
            return true;  // what the pattern draws has been looked at
        }
        default:
            unknown_ = true;
            return true;
    }
}

// A function's outputs over its whole domain, read as values of `s`.
uint8_t ColourCheck::function(const Value& in, const Space& s, int depth) {
    if (depth > kMaxFormDepth) return QM_PAGE_COLOR_UNKNOWN;
    Object fh;
    const Value& f = doc_.resolve(in, fh);
    if (f.kind == Kind::Array) {
        // One function per component, one output each: neutral when every
        // component runs the same course.
        if (f.items.empty() || f.items.size() > 32) return QM_PAGE_COLOR_UNKNOWN;
        double from[32], to[32], first = -1;
        for (size_t k = 0; k < f.items.size(); ++k) {
            Object kh;
            const Value& one = doc_.resolve(f.items[k], kh);
            const Value* type = one.get("FunctionType");
            const Value* exponent = one.get("N");
            double c0[1] = {0}, c1[1] = {1};
            if (!type || type->kind != Kind::Int || type->integer != 2 || !exponent || !exponent->isNumber()) {
                return QM_PAGE_COLOR_UNKNOWN;
            }
            if (one.get("C0") && !Numbers(*one.get("C0"), c0, 1)) return QM_PAGE_COLOR_UNKNOWN;
            if (one.get("C1") && !Numbers(*one.get("C1"), c1, 1)) return QM_PAGE_COLOR_UNKNOWN;
            if (k == 0) first = exponent->real;
            if (exponent->real != first) return QM_PAGE_COLOR_UNKNOWN;
            from[k] = c0[0];
            to[k] = c1[0];
        }
        const bool neutral = Neutral(s, from, f.items.size()) && Neutral(s, to, f.items.size());
        return neutral ? QM_PAGE_MONO : QM_PAGE_COLOR_UNKNOWN;
    }
    const Value* type = f.get("FunctionType");
    if (!type || type->kind != Kind::Int) return QM_PAGE_COLOR_UNKNOWN;
    if (type->integer == 2) {
        // Exponential interpolation between two colours: both ends are
        // painted, and a mix of neutral colours stays neutral.
        double c0[32], c1[32];
        const Value* a = f.get("C0");
        const Value* b = f.get("C1");
        const size_t n = a && a->kind == Kind::Array ? a->items.size() : 1;
        if (n > 32 || (b && b->kind == Kind::Array && b->items.size() != n)) return QM_PAGE_COLOR_UNKNOWN;
        if (a == nullptr) c0[0] = 0;
        else if (!Numbers(*a, c0, n)) return QM_PAGE_COLOR_UNKNOWN;
        if (b == nullptr) c1[0] = 1;
        else if (!Numbers(*b, c1, n)) return QM_PAGE_COLOR_UNKNOWN;
        return Neutral(s, c0, n) && Neutral(s, c1, n) ? QM_PAGE_MONO : QM_PAGE_COLOR;
    }
    if (type->integer == 3) {
        Object kh;
        const Value& parts = doc_.lookup(f, "Functions", kh);
        if (parts.kind != Kind::Array || parts.items.empty() || parts.items.size() > 256) return QM_PAGE_COLOR_UNKNOWN;
        uint8_t all = QM_PAGE_MONO;
        for (const Value& part : parts.items) {
            const uint8_t v = function(part, s, depth + 1);
            if (v == QM_PAGE_COLOR) return v;
            if (v == QM_PAGE_COLOR_UNKNOWN) all = v;
        }
        return all;
    }
    if (type->integer == 0 && fh.stream) {
        // Sampled: every sample is a colour the shading may paint.
        const Value* bits = f.get("BitsPerSample");
        double range[64];
        const Value* r = f.get("Range");
        const size_t outputs = r && r->kind == Kind::Array ? r->items.size() / 2 : 0;
        if (!bits || bits->kind != Kind::Int || bits->integer != 8 || outputs == 0 || outputs > 32 ||
            !Numbers(*r, range, outputs * 2)) {
            return QM_PAGE_COLOR_UNKNOWN;
        }
        std::string data;
        if (!doc_.decode(fh, data, 1u << 20)) return QM_PAGE_COLOR_UNKNOWN;
        double v[32];
        for (size_t at = 0; at + outputs <= data.size(); at += outputs) {
            for (size_t k = 0; k < outputs; ++k)
                v[k] = range[2 * k] + static_cast<uint8_t>(data[at + k]) / 255.0 * (range[2 * k + 1] - range[2 * k]);
            if (!Neutral(s, v, outputs)) return QM_PAGE_COLOR;
        }
        return QM_PAGE_MONO;
    }
    return QM_PAGE_COLOR_UNKNOWN;  // a calculator function is beyond this reading
}

void ColourCheck::shading(const Value& sh, const Value& resources, int depth) {
    const Value* cs = sh.get("ColorSpace");
    if (cs == nullptr) {
        unknown_ = true;
        return;
    }
    const Space s = space(*cs, resources, depth + 1);
    if (s.family == Space::Gray) return;
    if (s.family == Space::Unknown || s.family == Space::Pattern) {
        unknown_ = true;
        return;
    }
    double bg[32];
    const Value* background = sh.get("Background");
    if (background && background->kind == Kind::Array && background->items.size() <= 32 &&
        Numbers(*background, bg, background->items.size()) && !Neutral(s, bg, background->items.size())) {
        colour_ = true;
        return;
    }
    const Value* f = sh.get("Function");
    // Without a function, the colours stand in the vertex data of a mesh.
    const uint8_t v = f ? function(*f, s, depth + 1) : QM_PAGE_COLOR_UNKNOWN;
    if (v == QM_PAGE_COLOR) colour_ = true;
    if (v == QM_PAGE_COLOR_UNKNOWN) unknown_ = true;
}

uint8_t ColourCheck::page(const Value& page, const Value* inheritedResources) {
    colour_ = unknown_ = false;
    // Pages sharing large resources parse them again and again: past the
    // budget, the pages left are not looked at.
    if (exhausted_ || doc_.parsed() > kColourParseFactor * doc_.size() + (16u << 20)) {
        exhausted_ = true;
        return QM_PAGE_COLOR_UNKNOWN;
    }
    try {
        Object rh;
        const Value* own = page.get("Resources");
        const Value& resources = own ? doc_.resolve(*own, rh) : inheritedResources ? doc_.resolve(*inheritedResources, rh)
                                                                                   : NullValue();
        Object ch;
        const Value& contents = doc_.lookup(page, "Contents", ch);
        if (ch.stream) {
            stream(ch, resources, 0);
        } else if (contents.kind == Kind::Array) {
            // Operators may run across the parts: read them as one.
            std::string all, part;
            for (const Value& item : contents.items) {
                Object ph;
                doc_.resolve(item, ph);
                if (!ph.stream) continue;
                if (!doc_.decode(ph, part) || all.size() + part.size() > kMaxStreamOutput) {
                    unknown_ = true;
                    return verdict();
                }
                all += part;
                all += '\n';
            }
            content(all, resources, 0);
        }
        // Annotations that print draw their appearance on the page.
        Object ah;
        const Value& annots = doc_.lookup(page, "Annots", ah);
        for (size_t i = 0; annots.kind == Kind::Array && i < annots.items.size() && !colour_; ++i) {
            Object a, ap, n, st;
            const Value& annot = doc_.resolve(annots.items[i], a);
            const Value* flags = annot.get("F");
            if (!flags || flags->kind != Kind::Int || (flags->integer & 4) == 0 || (flags->integer & 2) != 0) continue;
            const Value& normal = doc_.lookup(doc_.lookup(annot, "AP", ap), "N", n);
            const Object* appearance = &n;
            if (!n.stream && normal.kind == Kind::Dict) {
                const Value* state = annot.get("AS");
                if (state && state->kind == Kind::Name) doc_.lookup(normal, state->text, st);
                appearance = &st;
            }
            if (appearance->stream) {
                Object ar;
                const Value& own = doc_.lookup(appearance->value, "Resources", ar);
                stream(*appearance, own.kind == Kind::Dict ? own : resources, 1);
            }
        }
    } catch (const Broken&) {
        unknown_ = true;
    }
    return verdict();
}

void ColourCheck::stream(const Object& s, const Value& resources, int depth) {
    std::string data;
    if (!doc_.decode(s, data)) {
        unknown_ = true;
        return;
    }
    content(data, resources, depth);
}

// Operands are read only as far as colour needs them: the numbers and the
// last name before each operator. Strings, arrays and dictionaries are
// stepped over without building objects.
namespace {
// The bytes a literal string's scan stops at: the escape and the parentheses.
struct StringStops {
    bool of[256] = {};
    constexpr StringStops() { of[uint8_t('\\')] = of[uint8_t('(')] = of[uint8_t(')')] = true; }
};
constexpr StringStops kStringStops{};
// The bytes that mean something inside an array or dictionary, where
// numbers, names and words are passed over unread.
struct NestedStops {
    bool of[256] = {};
    constexpr NestedStops() {
        for (char c : {'%', '(', '<', '>', '[', ']'}) of[uint8_t(c)] = true;
    }
};
constexpr NestedStops kNestedStops{};
// The first byte at or after i that `stops` holds, or the end; four bytes
// a step while none of them is one.
template <class Stops>
uint32_t SkipTo(const Bytes& b, uint32_t i, const Stops& stops) noexcept {
    for (; i + 4 <= b.size; i += 4) {
        // One test for the four, without a branch for each.
        if ((int{stops.of[b[i]]} | int{stops.of[b[i + 1]]} | int{stops.of[b[i + 2]]} | int{stops.of[b[i + 3]]}) != 0) break;
    }
    while (i < b.size && !stops.of[b[i]]) ++i;
    return i;
}
}  // namespace

void ColourCheck::content(std::string_view data, const Value& resources, int depth) {
    if (depth > kMaxFormDepth) {
        unknown_ = true;
        return;
    }
    const Bytes b(reinterpret_cast<const uint8_t*>(data.data()), static_cast<uint32_t>(data.size()));
    Space fill, stroke;  // both start as DeviceGray, black
    double v[32];
    size_t n = 0;
    std::string name;
    bool named = false;
    int nesting = 0;  // inside arrays and dictionaries
    uint32_t i = 0;
    while (i < b.size && !colour_) {
        if (nesting > 0) {
            // A TJ's adjustments and the like: only delimiters count here.
            i = SkipTo(b, i, kNestedStops);
            if (i >= b.size) break;
        }
        const uint8_t c = b[i];
        if (IsSpace(c)) {
            ++i;
        } else if (c == '%') {
            while (i < b.size && b[i] != '\n' && b[i] != '\r') ++i;
        } else if (c == '(') {
            int open = 1;
            for (++i; i < b.size && open > 0; ++i) {
                i = SkipTo(b, i, kStringStops);  // text: most bytes are none of the three
                if (i >= b.size) break;
                if (b[i] == '\\') ++i;
                else if (b[i] == '(') ++open;
                else if (b[i] == ')') --open;
            }
            if (open > 0) unknown_ = true;  // the content is cut short
        } else if (c == '<' && b.at(i + 1) == '<') {
            ++nesting;
            i += 2;
        } else if (c == '>' && b.at(i + 1) == '>') {
            nesting = nesting > 0 ? nesting - 1 : 0;
            i += 2;
        } else if (c == '<') {
            i = b.find(i, '>');
            if (i >= b.size) unknown_ = true;
        } else if (c == '[') {
            ++nesting;
            ++i;
        } else if (c == ']') {
            nesting = nesting > 0 ? nesting - 1 : 0;
            ++i;
        } else if (c == '/') {
            const uint32_t from = ++i;
            while (i < b.size && IsRegular(b[i])) ++i;
            // Resource names rarely hold #xx; the object parser decodes them.
            name.assign(reinterpret_cast<const char*>(b.data) + from, i - from);
            if (name.find('#') != std::string::npos) {
                Parser np(b, from - 1);
                name = np.object().text;
            }
            named = true;
        } else if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') {
            double value = 0, scale = 1;
            bool negative = c == '-', fraction = false;
            if (c == '-' || c == '+') ++i;
            for (; i < b.size; ++i) {
                const uint8_t d = b[i];
                if (d >= '0' && d <= '9') {
                    if (fraction) value += (d - '0') * (scale /= 10);
                    else value = value * 10 + (d - '0');
                } else if (d == '.' && !fraction) {
                    fraction = true;
                } else {
                    break;
                }
            }
            if (n < 32) v[n++] = negative ? -value : value;
        } else if (!IsRegular(c)) {
            ++i;  // a stray delimiter
        } else {
            const uint32_t from = i;
            while (i < b.size && IsRegular(b[i])) ++i;
            const std::string_view op(reinterpret_cast<const char*>(b.data) + from, i - from);
            if (op == "true" || op == "false" || op == "null") continue;
            if (++operators_ > kMaxColourOperators) {
                unknown_ = exhausted_ = true;
                return;
            }
            // Only these operators set or paint colour.
            if (std::string_view("gGrRkKcCsSD").find(op[0]) != std::string_view::npos) {
                operate(op, v, n, named ? &name : nullptr, fill, stroke, resources, depth);
            } else if (op == "BI") {
                Parser p(b, i);
                inlineImage(p, resources, depth);
                i = p.pos();
            }
            n = 0;
            named = false;
        }
    }
}

void ColourCheck::operate(std::string_view op, const double* v, size_t n, const std::string* name, Space& fill,
                          Space& stroke, const Value& resources, int depth) {
    if (op == "g" || op == "G") {
        (op == "g" ? fill : stroke) = Space();
    } else if (op == "rg" || op == "RG") {
        (op == "rg" ? fill : stroke) = Rgb();
        if (!NeutralValues(Space::Rgb, v, n)) colour_ = true;
    } else if (op == "k" || op == "K") {
        (op == "k" ? fill : stroke) = Cmyk();
        if (!NeutralValues(Space::Cmyk, v, n)) colour_ = true;
    } else if ((op == "cs" || op == "CS") && name != nullptr) {
        // Setting a space paints nothing; its initial colour is black or
        // no tint in every space but Indexed, whose values come with sc.
        Value cs;
        cs.kind = Kind::Name;
        cs.text = *name;
        Space& s = op == "cs" ? fill : stroke;
        s = space(cs, resources, depth);
    } else if (op == "sc" || op == "scn" || op == "SC" || op == "SCN") {
        const Space& s = op[0] == 's' ? fill : stroke;
        if (!neutral(s, v, n, name, resources, depth)) colour_ = true;
    } else if (op == "Do" && name != nullptr) {
        Object xh;
        const Value& xobjects = doc_.lookup(resources, "XObject", xh);
        if (const Value* ref = xobjects.get(*name)) xobject(*ref, resources, depth);
    } else if (op == "sh" && name != nullptr) {
        Object sh;
        const Value& shadings = doc_.lookup(resources, "Shading", sh);
        if (const Value* ref = shadings.get(*name)) {
            once(*ref, [&] {
                Object one;
                shading(doc_.resolve(*ref, one), resources, depth);
            });
        } else {
            unknown_ = true;
        }
    }
}

void ColourCheck::xobject(const Value& ref, const Value& resources, int depth) {
    once(ref, [&] {
        Object x;
        doc_.resolve(ref, x);
        if (!x.stream) return;
        const Value* subtype = x.value.get("Subtype");
        if (subtype && subtype->isName("Image")) {
            image(x, resources, depth);
        } else if (subtype && subtype->isName("Form")) {
            // Transparency groups are forms too: what they draw is read.
            Object rh;
            const Value& own = doc_.lookup(x.value, "Resources", rh);
            stream(x, own.kind == Kind::Dict ? own : resources, depth + 1);
        }
    });
}

void ColourCheck::image(const Object& img, const Value& resources, int depth) {
    const Value* mask = img.value.get("ImageMask");
    if (mask && mask->kind == Kind::Bool && mask->boolean) return;  // painted in the fill colour, looked at when set
    const Value* cs = img.value.get("ColorSpace");
    if (cs == nullptr) {
        unknown_ = true;  // the image's own data names its colours (JPEG 2000)
        return;
    }
    const Space s = space(*cs, resources, depth + 1);
    if (s.family == Space::Gray || (s.family == Space::Spot && s.inks.find_first_not_of('\0') == std::string::npos))
        return;
    if (s.family == Space::Unknown || s.family == Space::Pattern || s.family == Space::Lab) {
        unknown_ = true;
        return;
    }
    std::string data, codec;
    if (doc_.decode(img, data, kMaxStreamOutput, &codec)) {
        if (codec.empty()) {
            samples(img, s, data);
            return;
        }
        if ((codec == "DCTDecode" || codec == "DCT") && (s.family == Space::Rgb || s.family == Space::Cmyk)) {
            const uint8_t v = JpegColour(data, kMaxImagePixels);
            if (v == QM_PAGE_COLOR) colour_ = true;
            if (v == QM_PAGE_COLOR_UNKNOWN) unknown_ = true;
            return;
        }
    }
    // Pixels that cannot be read: a palette of neutral entries only is
    // neutral whatever is used; anything else is left open.
    if (s.family == Space::Indexed) {
        for (size_t at = 0; at + s.baseComponents <= s.palette.size(); at += s.baseComponents) {
            const double i = static_cast<double>(at / s.baseComponents);
            if (!Neutral(s, &i, 1)) {
                unknown_ = true;
                return;
            }
        }
        return;
    }
    unknown_ = true;
}

// The decoded samples of an image in space `s`: rows of Width pixels,
// BitsPerComponent bits per component, mapped through /Decode.
void ColourCheck::samples(const Object& img, const Space& s, std::string_view data) {
    const Value* w = img.value.get("Width");
    const Value* bpc = img.value.get("BitsPerComponent");
    double decode[64];
    const Value* d = img.value.get("Decode");
    const size_t comps = Components(s);
    const bool own = d && comps > 0 && comps <= 32 && Numbers(*d, decode, comps * 2);
    const uint8_t v = Samples(s, data, w && w->kind == Kind::Int ? w->integer : 0,
                              bpc && bpc->kind == Kind::Int ? bpc->integer : 0, own ? decode : nullptr);
    if (v == QM_PAGE_COLOR) colour_ = true;
    if (v == QM_PAGE_COLOR_UNKNOWN) unknown_ = true;
}

size_t ColourCheck::Components(const Space& s) noexcept {
    return s.family == Space::Indexed ? 1 : s.family == Space::Spot ? s.inks.size() : FamilyComponents(s.family);
}

uint8_t ColourCheck::Samples(const Space& s, std::string_view data, int64_t width, int64_t bpc, const double* own) {
    const size_t comps = Components(s);
    if (width <= 0 || width > (1 << 24) || comps == 0 || comps > 32 ||
        (bpc != 1 && bpc != 2 && bpc != 4 && bpc != 8 && bpc != 16)) {
        return QM_PAGE_COLOR_UNKNOWN;
    }
    const double top = static_cast<double>((1u << bpc) - 1);
    double decode[64];
    for (size_t k = 0; k < comps; ++k) {
        decode[2 * k] = own ? own[2 * k] : 0;
        decode[2 * k + 1] = own ? own[2 * k + 1] : s.family == Space::Indexed ? top : 1;
    }
    // Indexed: each palette entry is judged once, when first used.
    uint8_t judged[4096] = {};  // 0 not yet, 1 neutral, 2 colour
    const size_t row = static_cast<size_t>((width * static_cast<int64_t>(comps) * bpc + 7) / 8);
    const bool plain = bpc == 8 && !own && (s.family == Space::Rgb || s.family == Space::Cmyk);
    double v[32];
    for (size_t start = 0; start + row <= data.size(); start += row) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(data.data()) + start;
        if (plain) {
            // The common case without the general mapping.
            for (int64_t x = 0; x < width; ++x, p += comps) {
                if (std::abs(p[0] - p[1]) > kNeutralSteps || std::abs(p[1] - p[2]) > kNeutralSteps)
                    return QM_PAGE_COLOR;
            }
            continue;
        }
        uint64_t bit = 0;
        for (int64_t x = 0; x < width; ++x) {
            for (size_t k = 0; k < comps; ++k, bit += static_cast<uint64_t>(bpc)) {
                uint32_t sample;
                if (bpc == 16) sample = (p[bit / 8] << 8) | p[bit / 8 + 1];
                else if (bpc == 8) sample = p[bit / 8];
                else sample = (p[bit / 8] >> (8 - bpc - bit % 8)) & ((1u << bpc) - 1);
                v[k] = decode[2 * k] + sample / top * (decode[2 * k + 1] - decode[2 * k]);
            }
            if (s.family == Space::Indexed) {
                const size_t index = !(v[0] > 0) ? 0 : v[0] >= 4095 ? 4095 : static_cast<size_t>(v[0] + 0.5);
                if (judged[index] == 0) judged[index] = Neutral(s, v, 1) ? 1 : 2;
                if (judged[index] == 2) return QM_PAGE_COLOR;
            } else if (!Neutral(s, v, comps)) {
                return QM_PAGE_COLOR;
            }
        }
    }
    return QM_PAGE_MONO;
}

// Inline image keys and their abbreviations.
constexpr std::pair<std::string_view, std::string_view> kInlineKeys[] = {
    {"W", "Width"},       {"H", "Height"}, {"BPC", "BitsPerComponent"}, {"CS", "ColorSpace"},
    {"D", "Decode"},      {"F", "Filter"}, {"DP", "DecodeParms"},       {"IM", "ImageMask"},
};

void ColourCheck::inlineImage(Parser& p, const Value& resources, int depth) {
    Object img;
    img.value.kind = Kind::Dict;
    for (int i = 0; i < 64; ++i) {
        p.skipSpace();
        if (p.keyword("ID")) break;
        if (p.data().at(p.pos()) != '/') throw Broken("bad inline image");
        Value key = p.object();
        for (const auto& [abbreviation, full] : kInlineKeys)
            if (key.text == abbreviation) key.text = full;
        img.value.items.push_back(std::move(key));
        img.value.items.push_back(p.object());
    }
    // The data runs to "EI" standing alone.
    const Bytes b = p.data();
    const uint32_t from = p.pos() + 1;
    uint32_t i = from;
    while (i + 1 < b.size && !(b[i] == 'E' && b[i + 1] == 'I' && IsSpace(b.at(i - 1)) &&
                               (i + 2 >= b.size || IsSpace(b[i + 2])))) {
        ++i;
    }
    p.seek(i + 2);
    const uint32_t end = i + 1 < b.size ? i - 1 : b.size;  // the whitespace before EI is not data
    img.stream = true;
    img.data = end > from ? Bytes(b.data + from, end - from) : Bytes();
    image(img, resources, depth);
}

}  // namespace qm::pdf
