// The colour check of the accurate PDF reader.
#include "pspdf/pdf_accurate_colour.h"

#include <cmath>

namespace qm::pdf {
namespace {

constexpr double kNeutralSlack = 0.004;  // about one step of 8-bit colour

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

int Components(Space::Family f) noexcept {
    switch (f) {
        case Space::Gray: return 1;
        case Space::Rgb: case Space::Lab: return 3;
        case Space::Cmyk: return 4;
        default: return 0;
    }
}

// Neutral values of a device-like family; Lab values are L, a, b.
bool NeutralValues(Space::Family f, const double* v, size_t n) noexcept {
    switch (f) {
        case Space::Gray: return n >= 1;
        case Space::Rgb:
            return n >= 3 && std::fabs(v[0] - v[1]) <= kNeutralSlack && std::fabs(v[1] - v[2]) <= kNeutralSlack;
        case Space::Cmyk: return n >= 4 && v[0] <= kNeutralSlack && v[1] <= kNeutralSlack && v[2] <= kNeutralSlack;
        case Space::Lab: return n >= 3 && std::fabs(v[1]) < 1 && std::fabs(v[2]) < 1;
        default: return false;
    }
}

bool NeutralColorant(std::string_view name) noexcept { return name == "Black" || name == "All" || name == "None"; }

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
        s.baseComponents = static_cast<uint8_t>(Components(base.family));
        if (s.baseComponents == 0) return s;
        Object lh;
        const Value& lookupTable = doc_.resolve(cs.items[3], lh);
        if (lookupTable.kind == Kind::String) {
            s.palette = lookupTable.text;
        } else if (lh.stream && !doc_.decode(lh, s.palette, 1u << 20)) {
            return s;
        }
        s.family = Space::Indexed;
    } else if (family == "Separation" && cs.items[1].kind == Kind::Name) {
        s.family = Space::Spot;
        s.neutralMask.assign(1, NeutralColorant(cs.items[1].text) ? 1 : 0);
    } else if (family == "DeviceN") {
        Object nh;
        const Value& names = doc_.resolve(cs.items[1], nh);
        if (names.kind != Kind::Array || names.items.empty() || names.items.size() > 64) return s;
        s.family = Space::Spot;
        for (const Value& n : names.items) s.neutralMask += static_cast<char>(n.kind == Kind::Name && NeutralColorant(n.text));
    } else if (family == "Pattern") {
        s.family = Space::Pattern;
        const Space base = space(cs.items[1], resources, depth + 1);
        s.base = base.family;
    } else {
        return space(cs.items[0], resources, depth + 1);
    }
    return s;
}

bool ColourCheck::neutral(const Space& s, const double* v, size_t n, const std::string* patternName,
                          const Value& resources, int depth) {
    switch (s.family) {
        case Space::Gray: case Space::Rgb: case Space::Cmyk: case Space::Lab:
            return NeutralValues(s.family, v, n);
        case Space::Indexed: {
            if (n < 1 || v[0] < 0) return false;
            const size_t at = static_cast<size_t>(v[0]) * s.baseComponents;
            if (at + s.baseComponents > s.palette.size()) return false;
            double c[4] = {0, 0, 0, 0};
            for (size_t k = 0; k < s.baseComponents && k < 4; ++k) c[k] = static_cast<uint8_t>(s.palette[at + k]) / 255.0;
            if (s.base == Space::Lab) return false;
            return NeutralValues(s.base, c, s.baseComponents);
        }
        case Space::Spot:
            for (size_t k = 0; k < s.neutralMask.size(); ++k) {
                if (!s.neutralMask[k] && (k >= n || v[k] > kNeutralSlack)) return false;
            }
            return true;
        case Space::Pattern: {
            if (patternName == nullptr) return false;
            Object ph, qh;
            const Value& patterns = doc_.lookup(resources, "Pattern", ph);
            const Value* ref = patterns.get(*patternName);
            if (ref == nullptr) return false;
            const Value& pat = doc_.resolve(*ref, qh);
            const Value* paint = pat.get("PaintType");
            // An uncoloured tiling pattern takes its colour from the values given.
            if (paint && paint->kind == Kind::Int && paint->integer == 2) return NeutralValues(s.base, v, n);
            if (ref->kind == Kind::Ref && !seen_.insert(static_cast<uint32_t>(ref->integer)).second) return true;
            const Value* type = pat.get("PatternType");
            if (type && type->kind == Kind::Int && type->integer == 2) {
                Object sh;
                return shadingNeutral(doc_.lookup(pat, "Shading", sh), resources, depth);
            }
            if (qh.stream) {
                Object rh;
                const Value& own = doc_.lookup(pat, "Resources", rh);
                stream(qh, own.kind == Kind::Dict ? own : resources, depth + 1);
                return true;  // what the pattern draws has been looked at
            }
            return false;
        }
        default:
            unknown_ = true;
            return true;
    }
}

bool ColourCheck::shadingNeutral(const Value& shading, const Value& resources, int depth) {
    Object ch;
    const Value* cs = shading.get("ColorSpace");
    if (cs == nullptr) return false;
    const Space s = space(*cs, resources, depth + 1);
    // The colours of a shading come from functions; only a gray one is
    // surely neutral.
    return s.family == Space::Gray || (s.family == Space::Indexed && s.base == Space::Gray);
}

void ColourCheck::page(const Value& page, const Value* inheritedResources) {
    if (colour_) return;
    // Pages sharing large resources parse them again and again: past the
    // budget, the pages left are not looked at.
    if (doc_.parsed() > kColourParseFactor * doc_.size() + (16u << 20)) {
        unknown_ = true;
        return;
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
                if (!doc_.decode(ph, part)) {
                    unknown_ = true;
                    return;
                }
                if (all.size() + part.size() > kMaxStreamOutput) {
                    unknown_ = true;
                    return;
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
            if (n.stream) {
                stream(n, resources, 1);
            } else if (normal.kind == Kind::Dict) {
                const Value* state = annot.get("AS");
                if (state && state->kind == Kind::Name) {
                    doc_.lookup(normal, state->text, st);
                    if (st.stream) stream(st, resources, 1);
                }
            }
        }
    } catch (const Broken&) {
        unknown_ = true;
    }
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
        const uint8_t c = b[i];
        if (IsSpace(c)) {
            ++i;
        } else if (c == '%') {
            while (i < b.size && b[i] != '\n' && b[i] != '\r') ++i;
        } else if (c == '(') {
            int open = 1;
            for (++i; i < b.size && open > 0; ++i) {
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
            if (nesting == 0) {
                // Resource names rarely hold #xx; the object parser decodes them.
                name.assign(reinterpret_cast<const char*>(b.data) + from, i - from);
                if (name.find('#') != std::string::npos) {
                    Parser np(b, from - 1);
                    name = np.object().text;
                }
                named = true;
            }
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
            if (nesting == 0 && n < 32) v[n++] = negative ? -value : value;
        } else if (!IsRegular(c)) {
            ++i;  // a stray delimiter
        } else {
            const uint32_t from = i;
            while (i < b.size && IsRegular(b[i])) ++i;
            const std::string_view op(reinterpret_cast<const char*>(b.data) + from, i - from);
            if (nesting > 0 || op == "true" || op == "false" || op == "null") continue;
            if (++operators_ > kMaxColourOperators) {
                unknown_ = true;
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
        (op == "rg" ? fill : stroke).family = Space::Rgb;
        if (!NeutralValues(Space::Rgb, v, n)) colour_ = true;
    } else if (op == "k" || op == "K") {
        (op == "k" ? fill : stroke).family = Space::Cmyk;
        if (!NeutralValues(Space::Cmyk, v, n)) colour_ = true;
    } else if ((op == "cs" || op == "CS") && name != nullptr) {
        Value cs;
        cs.kind = Kind::Name;
        cs.text = *name;
        Space& s = op == "cs" ? fill : stroke;
        s = space(cs, resources, depth);
        // Setting a space sets its initial colour: black or no tint in
        // every space but Indexed, whose index 0 may be any colour.
        if (s.family == Space::Indexed) {
            const double zero = 0;
            if (!neutral(s, &zero, 1, nullptr, resources, depth)) colour_ = true;
        } else if (s.family == Space::Unknown) {
            unknown_ = true;
        }
    } else if (op == "sc" || op == "scn" || op == "SC" || op == "SCN") {
        const Space& s = op[0] == 's' ? fill : stroke;
        if (!neutral(s, v, n, name, resources, depth)) colour_ = true;
    } else if (op == "Do" && name != nullptr) {
        Object xh;
        const Value& xobjects = doc_.lookup(resources, "XObject", xh);
        if (const Value* ref = xobjects.get(*name)) xobject(*ref, resources, depth);
    } else if (op == "sh" && name != nullptr) {
        Object sh, one;
        const Value& shading = doc_.lookup(doc_.lookup(resources, "Shading", sh), *name, one);
        if (!shadingNeutral(shading, resources, depth)) colour_ = true;
    }
}

void ColourCheck::xobject(const Value& ref, const Value& resources, int depth) {
    if (ref.kind == Kind::Ref && !seen_.insert(static_cast<uint32_t>(ref.integer)).second) return;
    Object x;
    doc_.resolve(ref, x);
    if (!x.stream) return;
    const Value* subtype = x.value.get("Subtype");
    if (subtype && subtype->isName("Image")) {
        image(x, resources, depth);
    } else if (subtype && subtype->isName("Form")) {
        Object rh;
        const Value& own = doc_.lookup(x.value, "Resources", rh);
        stream(x, own.kind == Kind::Dict ? own : resources, depth + 1);
    }
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
    if (s.family == Space::Gray) return;
    if (s.family == Space::Indexed) {
        for (size_t at = 0; at + s.baseComponents <= s.palette.size(); at += s.baseComponents) {
            const double i = static_cast<double>(at / s.baseComponents);
            if (!neutral(s, &i, 1, nullptr, resources, depth)) {
                colour_ = true;
                return;
            }
        }
        return;
    }
    if (s.family == Space::Unknown) {
        unknown_ = true;
        return;
    }
    if (s.family == Space::Spot) {
        colour_ = s.neutralMask.find('\0') != std::string::npos;
        return;
    }
    // Pixels in a colour space: a gray picture stored as RGB or CMYK is
    // still neutral, so look at the samples where they can be decoded.
    const Value* bpc = img.value.get("BitsPerComponent");
    std::string pixels;
    const int comps = Components(s.family);
    if (!bpc || bpc->kind != Kind::Int || bpc->integer != 8 || comps < 3 || !doc_.decode(img, pixels, 16u << 20)) {
        colour_ = true;  // a colour image we cannot look inside (JPEG, say)
        return;
    }
    double px[4];
    for (size_t at = 0; at + comps <= pixels.size(); at += comps) {
        for (int k = 0; k < comps; ++k) px[k] = static_cast<uint8_t>(pixels[at + k]) / 255.0;
        if (!NeutralValues(s.family, px, comps)) {
            colour_ = true;
            return;
        }
    }
}

void ColourCheck::inlineImage(Parser& p, const Value& resources, int depth) {
    Value dict;
    dict.kind = Kind::Dict;
    for (int i = 0; i < 64; ++i) {
        p.skipSpace();
        if (p.keyword("ID")) break;
        if (p.data().at(p.pos()) != '/') throw Broken("bad inline image");
        Value key = p.object();
        dict.items.push_back(std::move(key));
        dict.items.push_back(p.object());
    }
    // The data runs to "EI" standing alone.
    const Bytes b = p.data();
    uint32_t i = p.pos() + 1;
    while (i + 1 < b.size && !(b[i] == 'E' && b[i + 1] == 'I' && IsSpace(b.at(i - 1)) &&
                               (i + 2 >= b.size || IsSpace(b[i + 2])))) {
        ++i;
    }
    p.seek(i + 2);
    const Value* mask = dict.get("IM");
    if (!mask) mask = dict.get("ImageMask");
    if (mask && mask->kind == Kind::Bool && mask->boolean) return;
    const Value* cs = dict.get("CS");
    if (!cs) cs = dict.get("ColorSpace");
    if (cs == nullptr) return;  // no colour space: a mask
    const Space s = space(*cs, resources, depth + 1);
    if (s.family == Space::Gray) return;
    if (s.family == Space::Unknown) {
        unknown_ = true;
        return;
    }
    colour_ = true;
}

}  // namespace qm::pdf
