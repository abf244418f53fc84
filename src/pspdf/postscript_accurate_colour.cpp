// The colour pass over a PostScript job. A small evaluator runs the job's
// code as far as colour depends on it: numbers, names, strings, arrays,
// dictionaries and procedures on an operand stack; definitions remembered;
// procedures called by name followed; the stack operators, arithmetic and
// comparisons that producers' colour procedures use (pdftops, cairo,
// fig2dev, Windows drivers). An operator it does not know leaves operands it
// cannot know. A colour set from an operand it does not know, or inside a
// branch whose condition it cannot tell, leaves the page unknown; one set
// from literal values decides. Work, nesting and memory are bounded.
// Pages a job writes as PDF objects (ps2write) are read by the PDF reader.
#include "pspdf/postscript_accurate_colour.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pspdf/pdf_accurate_colour.h"
#include "pspdf/pdf_accurate_jpeg.h"
#include "pspdf/postscript_accurate_lexer.h"
#include "quirometer/quirometer.h"

namespace qm::psaccurate {
namespace {

using Space = pdf::ColourCheck::Space;

constexpr size_t kMaxStack = 512;      // operands kept; past it the oldest half is dropped
constexpr size_t kRestored = 16;       // operands a body that may not run is undone on
constexpr size_t kMaxVariables = 1u << 16;
constexpr size_t kMaxArena = 1u << 20;       // array, dictionary and filter items held at once
constexpr size_t kArenaKept = 1u << 16;      // room for them kept from one page to the next
constexpr int kMaxCallDepth = 32;
constexpr uint64_t kStepsPerByte = 8;        // tokens evaluated: at most this many per byte of the job,
constexpr uint64_t kStepsFloor = 1u << 20;   // and at least this many
constexpr uint32_t kMaxImageData = 16u << 20;
constexpr double kSlack = 8.0 / 255;
constexpr uint32_t kShortBody = 24;         // tokens of a procedure always run
constexpr size_t kMaxMeanings = 8;          // other meanings kept per name defined in a body that may not run
constexpr uint16_t kAnyMeaning = 0xFFFF;    // a name with more: which it has is not known
constexpr size_t kMaxLexed = 1u << 17;      // tokens of procedure bodies kept lexed, over all bodies

enum class T : uint8_t { Unknown, Number, Bool, Name, String, Array, Dict, Proc, Mark, File };

struct Val {
    T t = T::Unknown;
    bool b = false;
    uint16_t alt = 0;  // a definition's other meanings (see Evaluator::Define): 1 + their index, or kAnyMeaning
    double n = 0;
    uint32_t from = 0, to = 0;   // Name: its text; String: the token; Proc: the body between the braces
    uint32_t items = 0, count = 0;  // Array, Dict, File: their items in the arena (File: source, then filters);
                                    // Proc: items is its body's record (Evaluator::Body)
};

Val Number(double n) {
    Val v;
    v.t = T::Number;
    v.n = n;
    return v;
}
Val Boolean(bool b) {
    Val v;
    v.t = T::Bool;
    v.b = b;
    return v;
}

// A number as an integer of images' sizes, clamped (no cast out of range).
int64_t Whole(double v) noexcept { return v > 0 && v < 1e9 ? static_cast<int64_t>(v) : 0; }

// Where a colour was set: a page's verdict only grows (mono, unknown, colour).
void Raise(uint8_t& verdict, uint8_t event) noexcept {
    if (event == QM_PAGE_COLOR || (event == QM_PAGE_COLOR_UNKNOWN && verdict == QM_PAGE_MONO)) verdict = event;
}

// Operators of fixed arity that leave nothing to colour: operands taken, results left (unknown).
// Some take a matrix as an extra last operand, and some leave a matrix.
enum : uint8_t { kNoMatrix, kTakesMatrix, kMakesMatrix };
struct Plain {
    std::string_view name;
    uint8_t pops, pushes;
    uint8_t matrix = kNoMatrix;
};
constexpr Plain kPlain[] = {
    {"moveto", 2, 0},      {"rmoveto", 2, 0},      {"lineto", 2, 0},       {"rlineto", 2, 0},
    {"curveto", 6, 0},     {"rcurveto", 6, 0},     {"arc", 5, 0},          {"arcn", 5, 0},
    {"arct", 5, 0},        {"closepath", 0, 0},    {"newpath", 0, 0},      {"fill", 0, 0},
    {"eofill", 0, 0},      {"stroke", 0, 0},       {"clip", 0, 0},         {"eoclip", 0, 0},
    {"gsave", 0, 0},       {"grestore", 0, 0},     {"save", 0, 1},         {"restore", 1, 0},
    {"translate", 2, 0, kTakesMatrix}, {"scale", 2, 0, kTakesMatrix}, {"rotate", 1, 0, kTakesMatrix}, {"concat", 1, 0},
    {"setmatrix", 1, 0},   {"setlinewidth", 1, 0}, {"setlinecap", 1, 0},   {"setlinejoin", 1, 0},
    {"setmiterlimit", 1, 0}, {"setdash", 2, 0},    {"setflat", 1, 0},      {"show", 1, 0},
    {"ashow", 3, 0},       {"widthshow", 4, 0},    {"awidthshow", 6, 0},   {"xshow", 2, 0},
    {"yshow", 2, 0},       {"xyshow", 2, 0},       {"glyphshow", 1, 0},    {"stringwidth", 1, 2},
    {"charpath", 2, 0},    {"rectfill", 4, 0},     {"rectstroke", 4, 0},   {"rectclip", 4, 0},
    {"initclip", 0, 0},    {"initgraphics", 0, 0}, {"matrix", 0, 1, kMakesMatrix}, {"currentmatrix", 1, 1, kMakesMatrix},
    {"currentpoint", 0, 2}, {"setstrokeadjust", 1, 0}, {"setoverprint", 1, 0}, {"settransfer", 1, 0},
    {"setscreen", 3, 0},   {"sethalftone", 1, 0},  {"setsmoothness", 1, 0}, {"findfont", 1, 1},
    {"scalefont", 2, 1},   {"makefont", 2, 1},     {"setfont", 1, 0},      {"selectfont", 2, 0},
    {"definefont", 2, 1},  {"findresource", 2, 1}, {"defineresource", 3, 1},
    {"erasepage", 0, 0},   {"flushfile", 1, 0},    {"closefile", 1, 0},    {"print", 1, 0},
    {"=", 1, 0},           {"==", 1, 0},           {"array", 1, 1},        {"dict", 1, 1},
    {"string", 1, 1},      {"begin", 1, 0},        {"end", 0, 0},          {"currentdict", 0, 1},
    {"userdict", 0, 1},    {"systemdict", 0, 1},   {"globaldict", 0, 1},   {"statusdict", 0, 1},
    {"put", 3, 0},         {"known", 2, 1},        {"type", 1, 1},         {"cvs", 2, 1},
    {"cvn", 1, 1},         {"dtransform", 2, 2, kTakesMatrix}, {"transform", 2, 2, kTakesMatrix}, {"itransform", 2, 2, kTakesMatrix},
    {"idtransform", 2, 2, kTakesMatrix}, {"concatmatrix", 3, 1, kMakesMatrix}, {"setcachedevice", 6, 0}, {"setcharwidth", 2, 0},
    {"currentfont", 0, 1}, {"setglobal", 1, 0},    {"currentglobal", 0, 1}, {"vmstatus", 0, 3},
    {"languagelevel", 0, 1}, {"setcolorrendering", 1, 0}, {"setblackgeneration", 1, 0},
    {"setundercolorremoval", 1, 0}, {"bind", 0, 0}, {"readonly", 0, 0}, {"executeonly", 0, 0},
    {"noaccess", 0, 0},    {"cvx", 0, 0},          {"cvlit", 0, 0},        {"exit", 0, 0},
    {"stop", 0, 0},        {"quit", 0, 0},         {"astore", 1, 1},       {"getinterval", 3, 1},
    {"putinterval", 3, 0}, {"readline", 2, 2},     {"readstring", 2, 2},   {"readhexstring", 2, 2},
    {"undef", 2, 0},       {"maxlength", 1, 1},    {"exp", 2, 1},          {"ln", 1, 1},
    {"atan", 2, 1},        {"sin", 1, 1},          {"cos", 1, 1},          {"currentlinewidth", 0, 1},
    {"pathbbox", 0, 4},    {"flattenpath", 0, 0},  {"strokepath", 0, 0},   {"reversepath", 0, 0},
    {"currentpagedevice", 0, 1}, {"execform", 1, 0}, {"rootfont", 0, 1},   {"setshared", 1, 0},
    {"countdictstack", 0, 1}, {"xcheck", 1, 1},    {"rcheck", 1, 1},       {"wcheck", 1, 1},
    {"search", 2, 3},      {"anchorsearch", 2, 3}, {"token", 1, 3},        {"bitshift", 2, 1},
    {"rand", 0, 1},         {"srand", 1, 0},        {"realtime", 0, 1},
    {"usertime", 0, 1},    {"version", 0, 1},      {"product", 0, 1},      {"setuserparams", 1, 0},
    {"setsystemparams", 1, 0}, {"setpacking", 1, 0}, {"currentpacking", 0, 1}, {"setfileposition", 2, 0},
    {"cvrs", 3, 1},        {"internaldict", 1, 1}, {"setcolortransfer", 4, 0},
};

// What a procedure's running may bear on: colour, images (and the data they
// read from the job), the page count, definitions later code reads.
constexpr std::string_view kBearing[] = {
    "setgray",  "setrgbcolor", "setcmykcolor", "sethsbcolor",   "setcolorspace",   "setcolor",
    "setpattern", "image",     "colorimage",   "imagemask",     "shfill",          "showpage",
    "copypage", "def",         "store",        "currentfile",   "exec",            "load",
    "setpagedevice", "currentrgbcolor", "currentgray", "currentcmykcolor", "eexec",
};
// Names are short: FNV-1a hashes them faster than the library's hash.
constexpr uint64_t NameHash(std::string_view s) noexcept {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
    return h;
}

// Values by name: the operators' ids, the definitions. A name's hash is
// computed once by the caller and may serve two tables; slots are probed
// in a table of a power of two, kept at most half full. The values stay
// where they were put (a deque): pointers to them hold as the table grows.
template <typename V>
class NameTable {
public:
    struct Entry {
        std::string_view name;
        V value;
    };
    V* find(std::string_view name, uint64_t h) noexcept {
        if (slots_.empty()) return nullptr;
        for (size_t i = h & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
            const Slot& s = slots_[i];
            if (!s.entry) return nullptr;
            if (s.hash == h && s.entry->name == name) return &s.entry->value;
        }
    }
    const V* find(std::string_view name, uint64_t h) const noexcept {
        return const_cast<NameTable*>(this)->find(name, h);
    }
    // The value of `name`, made (value-initialised) when it has none.
    V& insert(std::string_view name, uint64_t h) {
        if (V* v = find(name, h)) return *v;
        if (2 * (size_ + 1) > slots_.size()) Grow();
        entries_.push_back(Entry{name, V{}});
        ++size_;
        longest_ = std::max(longest_, name.size());
        Place(&entries_.back(), h);
        return entries_.back().value;
    }
    size_t size() const noexcept { return size_; }
    size_t longest() const noexcept { return longest_; }  // the longest name it holds
    std::deque<Entry>& entries() noexcept { return entries_; }

private:
    struct Slot {
        uint64_t hash = 0;
        Entry* entry = nullptr;
    };
    std::vector<Slot> slots_;
    std::deque<Entry> entries_;
    size_t size_ = 0;  // entries_.size(), at hand
    size_t longest_ = 0;

    void Place(Entry* e, uint64_t h) noexcept {
        size_t i = h & (slots_.size() - 1);
        while (slots_[i].entry) i = (i + 1) & (slots_.size() - 1);
        slots_[i] = {h, e};
    }
    void Grow() {
        slots_.assign(std::max<size_t>(64, 2 * slots_.size()), Slot{});
        for (Entry& e : entries_) Place(&e, NameHash(e.name));
    }
};

// The operators the evaluator runs itself, by an id given once when a name
// is looked up: a handler picks its case by the id, not by comparing text.
// The ids of one handler are contiguous; kOps gives each its name.
enum Op : uint16_t {
    kNoOp,
    // colour
    kSetgray, kSetrgbcolor, kSetcmykcolor, kSethsbcolor, kSetcolorspace, kSetcolor, kSetpattern, kCurrentrgbcolor,
    kCurrentgray, kCurrentcmykcolor, kImage, kColorimage, kImagemask, kShfill,
    // control
    kDef, kStore, kLoad, kExec, kIf, kIfelse, kRepeat, kFor, kForall, kLoop, kStopped, kWhere, kGet, kAload, kLength,
    kCurrentfile, kFilter, kSetpagedevice, kShowpage, kCopypage,
    // stack
    kPop, kExch, kDup, kCopy, kIndex, kRoll, kClear, kMark, kCleartomark, kCounttomark, kCount,
    // arithmetic of two operands, then of one
    kAdd, kSub, kMul, kDiv, kIdiv, kMod, kEq, kNe, kGt, kGe, kLt, kLe, kAnd, kOr, kXor,
    kNeg, kAbs, kRound, kTruncate, kFloor, kCeiling, kCvi, kCvr, kSqrt, kNot,
    kPlainBase  // then kPlain's operators, in its order
};
static_assert(kShfill + 1 == kDef && kCopypage + 1 == kPop && kCount + 1 == kAdd && kNot + 1 == kPlainBase);
constexpr std::string_view kOps[kPlainBase] = {
    "",
    "setgray", "setrgbcolor", "setcmykcolor", "sethsbcolor", "setcolorspace", "setcolor", "setpattern", "currentrgbcolor",
    "currentgray", "currentcmykcolor", "image", "colorimage", "imagemask", "shfill",
    "def", "store", "load", "exec", "if", "ifelse", "repeat", "for", "forall", "loop", "stopped", "where", "get", "aload",
    "length", "currentfile", "filter", "setpagedevice", "showpage", "copypage",
    "pop", "exch", "dup", "copy", "index", "roll", "clear", "mark", "cleartomark", "counttomark", "count",
    "add", "sub", "mul", "div", "idiv", "mod", "eq", "ne", "gt", "ge", "lt", "le", "and", "or", "xor",
    "neg", "abs", "round", "truncate", "floor", "ceiling", "cvi", "cvr", "sqrt", "not",
};
// Indices by position in the job (a body's start): open addressing as
// above, the positions' hash a multiplication.
class PositionTable {
public:
    static constexpr uint32_t kNone = UINT32_MAX;
    uint32_t find(uint32_t key) const noexcept {
        if (slots_.empty()) return kNone;
        for (size_t i = Home(key);; i = (i + 1) & (slots_.size() - 1)) {
            if (slots_[i].value == kNone || slots_[i].key == key) return slots_[i].value;
        }
    }
    // The index of `key`, given `value` when it had none.
    uint32_t insert(uint32_t key, uint32_t value) {
        if (2 * (size_ + 1) > slots_.size()) Grow();
        size_t i = Home(key);
        while (slots_[i].value != kNone && slots_[i].key != key) i = (i + 1) & (slots_.size() - 1);
        if (slots_[i].value == kNone) {
            slots_[i] = {key, value};
            ++size_;
        }
        return slots_[i].value;
    }

private:
    struct Slot {
        uint32_t key = 0, value = kNone;
    };
    std::vector<Slot> slots_;
    size_t size_ = 0;

    size_t Home(uint32_t key) const noexcept {
        return static_cast<size_t>((uint64_t{key} * 0x9E3779B97F4A7C15ull) >> 32) & (slots_.size() - 1);
    }
    void Grow() {
        std::vector<Slot> old(std::max<size_t>(64, 2 * slots_.size()));
        old.swap(slots_);
        size_ = 0;
        for (const Slot& s : old) {
            if (s.value != kNone) insert(s.key, s.value);
        }
    }
};

// The operators' ids by name, a table of open addressing made when the
// library is built: nothing to set up when a job comes.
class BuiltinTable {
public:
    constexpr BuiltinTable() {
        for (uint16_t k = 1; k < kPlainBase; ++k) Add(kOps[k], k);
        for (size_t k = 0; k < std::size(kPlain); ++k) Add(kPlain[k].name, static_cast<uint16_t>(kPlainBase + k));
    }
    constexpr size_t Longest() const noexcept { return longest_; }
    constexpr uint16_t Find(std::string_view name, uint64_t h) const noexcept {
        for (size_t i = h & (kSlots - 1);; i = (i + 1) & (kSlots - 1)) {
            const Slot& s = slots_[i];
            if (s.id == kNoOp || (s.hash == h && s.name == name)) return s.id;
        }
    }

private:
    static constexpr size_t kSlots = 512;  // at least twice the operators
    struct Slot {
        uint64_t hash = 0;
        uint16_t id = kNoOp;
        std::string_view name;
    };
    Slot slots_[kSlots] = {};
    size_t longest_ = 0;

    // The first id given a name is its own.
    constexpr void Add(std::string_view name, uint16_t id) {
        const uint64_t h = NameHash(name);
        size_t i = h & (kSlots - 1);
        for (; slots_[i].id != kNoOp; i = (i + 1) & (kSlots - 1)) {
            if (slots_[i].name == name) return;
        }
        slots_[i] = {h, id, name};
        longest_ = std::max(longest_, name.size());
    }
};
static_assert(2 * (kPlainBase + std::size(kPlain)) <= 512);
constexpr BuiltinTable kBuiltins{};

// The id of a built-in operator's name (of hash `h`); kNoOp for any other.
uint16_t BuiltinOf(std::string_view name, uint64_t h) { return kBuiltins.Find(name, h); }
constexpr uint16_t BuiltinOf(std::string_view name) { return kBuiltins.Find(name, NameHash(name)); }

// Which built-in operators, by id, may bear on colour (kBearing).
struct BearingTable {
    bool of[kPlainBase + std::size(kPlain)] = {};
    constexpr BearingTable() {
        for (std::string_view name : kBearing) of[BuiltinOf(name)] = true;
        of[kNoOp] = false;
    }
};
constexpr BearingTable kBearingIds{};

// The operand stack. Unknown operands at its bottom are only counted, not
// stored: a body undone after it cleared the stack puts hundreds back, and
// an unknown operand is any other. The stored ones live in one block of
// kMaxStack operands allocated once: the evaluator never lets the stack
// grow past that (Evaluator::Push drops the oldest half first).
class OperandStack {
public:
    size_t size() const noexcept { return floor_ + n_; }
    bool empty() const noexcept { return size() == 0; }
    void clear() noexcept {
        floor_ = 0;
        n_ = 0;
    }
    // Only below kMaxStack operands.
    void push_back(const Val& v) noexcept { top_[n_++] = v; }
    void pop_back() noexcept {
        if (n_ > 0) --n_;
        else if (floor_ > 0) --floor_;
    }
    // The top `n` operands where they are stored; null when some are only counted.
    Val* Stored(size_t n) noexcept { return n <= n_ ? top_.get() + n_ - n : nullptr; }
    // Pops `n` operands, or as many as there are.
    void Drop(size_t n) noexcept {
        const size_t stored = std::min(n, n_);
        n_ -= stored;
        floor_ -= std::min(n - stored, floor_);
    }
    // The operand at `k` from the bottom (k < size()).
    const Val& operator[](size_t k) const noexcept { return k < floor_ ? kUnknown : top_[k - floor_]; }
    const Val& back() const noexcept { return n_ > 0 ? top_[n_ - 1] : kUnknown; }

    // Drops the `n` oldest operands.
    void DropOldest(size_t n) noexcept {
        const size_t counted = std::min(n, floor_);
        floor_ -= counted;
        n = std::min(n - counted, n_);
        std::copy(top_.get() + n, top_.get() + n_, top_.get());
        n_ -= n;
    }
    // Keeps the `n` oldest (n <= size()), or grows to `n` (at most
    // kMaxStack) with unknown operands on top.
    void Resize(size_t n) noexcept {
        if (n <= floor_) {
            floor_ = n;
            n_ = 0;
        } else if (n <= size() || std::any_of(top_.get(), top_.get() + n_, [](const Val& v) { return v.t != T::Unknown; })) {
            const size_t stored = n - floor_;
            std::fill(top_.get() + std::min(stored, n_), top_.get() + stored, Val());
            n_ = stored;
        } else {
            floor_ = n;
            n_ = 0;
        }
    }
    // The top `n` operands (n <= size()) as stored ones, to be rewritten.
    Val* Top(size_t n) noexcept {
        if (n > n_) {
            const size_t more = n - n_;
            std::copy_backward(top_.get(), top_.get() + n_, top_.get() + n);
            std::fill(top_.get(), top_.get() + more, Val());
            floor_ -= more;
            n_ = n;
        }
        return top_.get() + n_ - n;
    }
    // Pops to the nearest mark, leaving what was above it in `out` (bottom first);
    // without a mark the stack is cleared and `out` left empty.
    bool ToMark(std::vector<Val>& out) {
        for (size_t k = n_; k-- > 0;) {
            if (top_[k].t == T::Mark) {
                out.assign(top_.get() + k + 1, top_.get() + n_);
                n_ = k;
                return true;
            }
        }
        out.clear();
        clear();
        return false;
    }
    // Where the nearest mark is stored; SIZE_MAX without one.
    size_t MarkAt() const noexcept {
        for (size_t k = n_; k-- > 0;)
            if (top_[k].t == T::Mark) return k;
        return SIZE_MAX;
    }
    // The stored operands from `k` up (k <= stored()), and how many are stored.
    const Val* StoredFrom(size_t k) const noexcept { return top_.get() + k; }
    size_t stored() const noexcept { return n_; }
    // Keeps the unknown operands and the `k` oldest stored ones (k <= stored()).
    void Cut(size_t k) noexcept { n_ = k; }
    // Operands above the nearest mark; all of them without one.
    size_t AboveMark() const noexcept {
        for (size_t k = n_; k-- > 0;)
            if (top_[k].t == T::Mark) return n_ - k - 1;
        return size();
    }

private:
    static inline const Val kUnknown{};
    size_t floor_ = 0;  // unknown operands beneath the stored ones
    size_t n_ = 0;      // stored operands
    std::unique_ptr<Val[]> top_ = std::make_unique<Val[]>(kMaxStack);
};

class Evaluator {
public:
    Evaluator(Bytes job, const std::vector<Span>& embedded)
        : job_(job), embedded_(embedded),
          budget_(std::max<uint64_t>(kStepsFloor, kStepsPerByte * uint64_t{job.size})) {}

    // Runs the prolog: definitions and state. What it paints is on the
    // first sheet: the first showpage prints it.
    void Prolog(Span s) {
        counting_ = false;
        part_ = QM_PAGE_MONO;
        Top(s);
        Reset();
        carried_ = part_;
    }

    // Runs one page part.
    void Page(Span s) {
        Compact();
        counting_ = true;
        part_ = carried_;
        carried_ = QM_PAGE_MONO;
        partWidth_ = partLength_ = 0;
        Top(s);
    }

    // The part's verdict, and the page size it asked for (points; 0 none).
    uint8_t Part() const noexcept { return part_; }
    double PartWidth() const noexcept { return partWidth_; }
    double PartLength() const noexcept { return partLength_; }
    uint8_t Exhausted() const noexcept { return exhausted_; }
    uint64_t Steps() const noexcept { return steps_; }

    std::vector<uint8_t> byShowpage;
    bool certain = true;

private:
    Bytes job_;
    const std::vector<Span>& embedded_;
    uint64_t budget_;
    uint64_t steps_ = 0;
    bool exhausted_ = false;
    bool counting_ = false;
    uint32_t pos_ = 0, end_ = 0;  // the top level's place in the job: where currentfile reads
    OperandStack stack_;
    std::vector<Val> scratch_;
    std::vector<Val> arena_;
    NameTable<Val> vars_;
    Val* Defined(std::string_view name) noexcept { return vars_.find(name, NameHash(name)); }
    // What a name may mean besides its last definition, when that was made
    // in a body that may not have run: the definitions before it, or the
    // operator of that name (or none) when there was none.
    struct Meanings {
        std::vector<Val> values;
        bool builtin = false;
    };
    std::vector<Meanings> meanings_;
    // A body's tokens, lexed once: procedures are run again and again (a
    // text operator per string shown). A literal keeps the operand it
    // pushes; the "{" of a body inside keeps the procedure it pushes and,
    // once met, how many tokens on the one after its "}" stands. A name's operator is
    // looked up when it first runs, and its meaning kept with it: the
    // definition it found (never erased, so the pointer holds), or the
    // number of definitions there were when it found none (only a new
    // definition can change that).
    static constexpr uint16_t kUnresolved = 0xFFFF;
    struct Lexed {
        Kind kind = Kind::None;
        uint16_t builtin = kUnresolved;
        uint32_t next = 0;  // where the token after it starts
        uint32_t skip = 0;  // a body: tokens from this one to the one after its "}"; 0 until met
        std::string_view name;
        Val value;
        Val* var = nullptr;
        size_t missedAt = SIZE_MAX;
    };
    // What is known of a procedure body: where its "}" stands and where
    // the token after it starts, whether running it may bear on colour
    // (judged once), and its tokens once lexed. Found by where the body
    // starts, and from a procedure by the index it carries (Val::items).
    // A body first met at its "{" is lexed as its "}" is looked for, and
    // the bodies inside it are runs of its tokens.
    struct Body {
        uint32_t close = 0, after = 0;  // after 0: not closed yet
        int8_t bears = -1;  // not judged yet
        bool lexed = false;
        std::span<Lexed> tokens;  // in a block of lexed_, shared with the bodies around it
    };
    std::deque<Body> made_;       // each where it was made: references to one hold
    std::vector<Body*> bodies_;   // by index
    PositionTable bodyAt_;        // body start: its index in bodies_
    size_t lexedTokens_ = 0;
    std::vector<Lexed> lexing_;  // a body's tokens as it is lexed, kept between bodies
    // The tokens of the bodies lexed, in blocks each filled up to the room
    // it was made with (and never moved), so that spans into them hold; a
    // long body has a block of its own, so a block's unused end stays short.
    std::vector<std::vector<Lexed>> lexed_, longBodies_;
    struct Slice;
    std::vector<Slice> open_, inside_;  // Close's, kept between bodies
    std::vector<uint32_t> running_;  // bodies being run, innermost last
    int conditional_ = 0;  // inside branches whose condition is unknown, and loop bodies (run once)
    uint8_t part_ = QM_PAGE_MONO;   // this page part's verdict
    double partWidth_ = 0, partLength_ = 0;
    uint8_t sheet_ = QM_PAGE_MONO;  // since the last showpage
    uint8_t carried_ = QM_PAGE_MONO;  // what the prolog painted, for the first page part
    Space space_;
    double colour_[4] = {0, 0, 0, 0};
    bool colourKnown_ = true;

    void Reset() {
        stack_.clear();
        space_ = Space();
        colourKnown_ = true;
        colour_[0] = 0;
    }

    // Arrays and dictionaries a page made are dropped at the next page,
    // those definitions hold are kept: the arena does not grow with the job.
    void Compact() {
        stack_.clear();
        std::vector<Val> kept;
        // The next page is likely to need as much room: not grown again from
        // nothing (up to a modest room, so that a page that filled the arena
        // does not leave it held twice over).
        kept.reserve(std::min(arena_.capacity(), kArenaKept));
        for (auto& var : vars_.entries()) var.value = Keep(var.value, arena_, kept, 0);
        for (Meanings& m : meanings_)
            for (Val& v : m.values) v = Keep(v, arena_, kept, 0);
        arena_.swap(kept);
    }
    static Val Keep(const Val& v, const std::vector<Val>& from, std::vector<Val>& to, int depth) {
        if (v.t != T::Array && v.t != T::Dict && v.t != T::File) return v;
        if (depth > 8 || to.size() + v.count > kMaxArena) return Val();
        Val moved = v;
        moved.items = static_cast<uint32_t>(to.size());
        to.insert(to.end(), from.begin() + v.items, from.begin() + v.items + v.count);
        for (uint32_t k = 0; k < v.count; ++k) {
            const Val item = to[moved.items + k];  // Keep may move `to`
            to[moved.items + k] = Keep(item, from, to, depth + 1);
        }
        return moved;
    }

    // A literal name's operand, its text standing in the job.
    Val NameOf(std::string_view text) const noexcept {
        Val v;
        v.t = T::Name;
        v.from = static_cast<uint32_t>(reinterpret_cast<const uint8_t*>(text.data()) - job_.data);
        v.to = v.from + static_cast<uint32_t>(text.size());
        return v;
    }
    // A string's operand: its token, from its opening delimiter to `to`.
    static Val StringOf(uint32_t from, uint32_t to) noexcept {
        Val v;
        v.t = T::String;
        v.from = from;
        v.to = to;
        return v;
    }

    std::string_view Text(const Val& v) const noexcept {
        return std::string_view(reinterpret_cast<const char*>(job_.data) + v.from, v.to - v.from);
    }

    void Event(uint8_t verdict) noexcept {
        if (verdict == QM_PAGE_COLOR && conditional_ > 0) verdict = QM_PAGE_COLOR_UNKNOWN;
        Raise(part_, verdict);
        Raise(sheet_, verdict);
    }

    // Push, Pop and Spend run for nearly every token: kept inline in the loops.
    [[gnu::always_inline]] void Push(const Val& v) {
        if (stack_.size() >= kMaxStack) [[unlikely]] {
            stack_.DropOldest(kMaxStack / 2);
        }
        stack_.push_back(v);
    }
    [[gnu::always_inline]] Val Pop() {
        if (stack_.empty()) return Val();
        Val v = stack_.back();
        stack_.pop_back();
        return v;
    }
    // The number `depth` below the top, if known.
    std::optional<double> NumberAt(size_t depth) const {
        if (depth >= stack_.size() || stack_[stack_.size() - 1 - depth].t != T::Number) return std::nullopt;
        return stack_[stack_.size() - 1 - depth].n;
    }

    // A group of values put in the arena; Unknown when it is full.
    Val Group(T type, const Val* items, uint32_t count) {
        Val v;
        if (arena_.size() + count > kMaxArena) return v;
        v.t = type;
        v.items = static_cast<uint32_t>(arena_.size());
        v.count = count;
        arena_.insert(arena_.end(), items, items + count);
        return v;
    }
    const Val* Get(const Val& dict, std::string_view key) const {
        if (dict.t != T::Dict) return nullptr;
        for (uint32_t k = 0; k + 1 < dict.count; k += 2) {
            const Val& name = arena_[dict.items + k];
            if (name.t == T::Name && Text(name) == key) return &arena_[dict.items + k + 1];
        }
        return nullptr;
    }

    // Pops to the nearest mark, leaving what was above it in `out` (bottom first).
    bool ToMark(std::vector<Val>& out) { return stack_.ToMark(out); }

    // The end of a procedure body opened just before `from`: where its "}"
    // stands. Every body met on the way is remembered, so no byte is read
    // twice for this, however many bodies nest or stay open.
    uint32_t Close(uint32_t from, uint32_t end, uint32_t& after) {
        const uint32_t index = IndexOf(from);
        if (bodies_[index]->after != 0) {
            after = bodies_[index]->after;
            return bodies_[index]->close;
        }
        std::vector<Slice>& open = open_;
        std::vector<Slice>& inside = inside_;  // the bodies closed on the way
        open.assign(1, {from, 0, 0});
        inside.clear();
        std::vector<Lexed>& tokens = lexing_;  // the body's, while it is lexed
        tokens.clear();
        bool lexing = !bodies_[index]->lexed;  // not once a body seen before is stepped over
        Token t;
        for (uint32_t i = from; i < end && !open.empty();) {
            const uint32_t next = NextToken(job_, end, i, t);
            if (t.kind == Kind::OpenProc) {
                const uint32_t inner = bodyAt_.find(next);
                if (inner != PositionTable::kNone && bodies_[inner]->after != 0) {
                    i = bodies_[inner]->after;  // a body seen before: stepped over whole
                    lexing = false;
                    continue;
                }
                lexing = lexing && Lexing(tokens, t, next);
                open.push_back({next, tokens.size(), 0});
            } else if (t.kind == Kind::CloseProc) {
                Closed(open.back().from, t.from, next);
                if (open.size() > 1) inside.push_back({open.back().from, open.back().first, tokens.size()});
                open.pop_back();
                if (!open.empty()) lexing = lexing && Lexing(tokens, t, next);
            } else {
                lexing = lexing && Lexing(tokens, t, next);
            }
            i = next;
        }
        for (const Slice& o : open) {
            Closed(o.from, end, end);
            if (o.from != from) inside.push_back({o.from, o.first, tokens.size()});
        }
        if (lexing) Keep(index, tokens, inside);
        after = bodies_[index]->after;
        return bodies_[index]->close;
    }
    // A body's tokens from `first` to `last` of those of the body being closed.
    struct Slice {
        uint32_t from;
        size_t first, last;
    };
    // Adds a token to a body's while they stay within kMaxLexed.
    bool Lexing(std::vector<Lexed>& tokens, const Token& t, uint32_t next) {
        if (t.kind == Kind::None) return true;  // a comment does nothing
        if (lexedTokens_ + tokens.size() >= kMaxLexed) return false;
        MakeLexed(tokens.emplace_back(), t, next);
        return true;
    }
    std::span<Lexed> Store(const std::vector<Lexed>& tokens) {
        if (tokens.size() > 512) {
            std::vector<Lexed>& own = longBodies_.emplace_back(tokens.begin(), tokens.end());
            return std::span<Lexed>(own);
        }
        if (lexed_.empty() || lexed_.back().capacity() - lexed_.back().size() < tokens.size()) {
            const size_t room = lexed_.empty() ? 256 : std::min<size_t>(4096, 2 * lexed_.back().capacity());
            lexed_.emplace_back().reserve(std::max(room, tokens.size()));
        }
        std::vector<Lexed>& block = lexed_.back();
        const size_t at = block.size();
        block.insert(block.end(), tokens.begin(), tokens.end());
        return std::span<Lexed>(block.data() + at, tokens.size());
    }
    // Keeps the tokens of the body at `index`, and those of the bodies inside it as runs of them.
    void Keep(uint32_t index, const std::vector<Lexed>& tokens, const std::vector<Slice>& inside) {
        lexedTokens_ += tokens.size();
        Body& b = *bodies_[index];
        b.tokens = Store(tokens);
        b.lexed = true;
        for (const Slice& s : inside) {
            Body& in = *bodies_[IndexOf(s.from)];
            in.tokens = b.tokens.subspan(s.first, s.last - s.first);
            in.lexed = true;
        }
    }
    void Closed(uint32_t from, uint32_t close, uint32_t after) {
        Body& b = *bodies_[IndexOf(from)];
        b.close = close;
        b.after = after;
    }

    // The index of the record of the body starting at `from`, made at the first call.
    uint32_t IndexOf(uint32_t from) {
        const uint32_t index = bodyAt_.insert(from, static_cast<uint32_t>(bodies_.size()));
        if (index == bodies_.size()) bodies_.push_back(&made_.emplace_back());
        return index;
    }
    // A procedure made of the body starting at `from`, whose "}" stands at `close`.
    Val Procedure(uint32_t from, uint32_t close) {
        Val v;
        v.t = T::Proc;
        v.from = from;
        v.to = close;
        v.items = IndexOf(from);
        return v;
    }

    [[gnu::always_inline]] bool Spend() {
        if (++steps_ <= budget_) return true;
        exhausted_ = true;
        return false;
    }

    void Top(Span s) {
        end_ = std::min(s.to, job_.size);
        pos_ = s.from;
        while (pos_ < end_ && !exhausted_) {
            Token t;
            const uint32_t next = NextToken(job_, end_, pos_, t);
            pos_ = next;
            if (t.kind == Kind::Number) {  // most of a page's tokens: kept out of Step
                if (Spend()) Push(Number(t.number));
            } else if (t.kind == Kind::Name) {
                if (Spend()) Call(t.text, 0);
            } else if (t.kind != Kind::OpenArray || !NumberArray(next)) {
                Step(t, next, end_, 0, true);
            }
        }
        if (exhausted_) Event(QM_PAGE_COLOR_UNKNOWN);
    }

    // An array of numbers at the top level, its "[" just read (a page's
    // text positions, a matrix): its numbers go to the arena as they are
    // read rather than by way of the stack, where that is the same as
    // pushing them and grouping them at the "]" (the stack would not
    // overflow, the work allowed would not run out). False, with nothing
    // changed, for any other.
    bool NumberArray(uint32_t from) {
        const size_t below = stack_.size(), at = arena_.size();
        const size_t room = below + 1 < kMaxStack ? kMaxStack - 1 - below : 0;  // numbers the stack would hold
        Token t;
        size_t count = 0;
        for (uint32_t i = from;;) {
            double n = 0;
            const uint32_t after = NextNumber(job_, end_, i, n);
            if (after != i && count < room) {
                arena_.push_back(Number(n));
                ++count;
                i = after;
                continue;
            }
            const uint32_t next = NextToken(job_, end_, i, t);
            if (t.kind != Kind::CloseArray || steps_ + count + 2 > budget_) break;
            steps_ += count + 2;  // the "[", the numbers and the "]"
            Val array;
            if (at + count <= kMaxArena) {
                array.t = T::Array;
                array.items = static_cast<uint32_t>(at);
                array.count = static_cast<uint32_t>(count);
            } else {
                arena_.resize(at);
            }
            Push(array);
            pos_ = next;
            return true;
        }
        arena_.resize(at);
        return false;
    }

    // Runs a body. One already running (recursion) is not run again: the
    // page is left unknown rather than the work let grow without bound.
    void Run(const Val& proc, int depth) {
        if (proc.t != T::Proc) return;
        if (depth >= kMaxCallDepth || std::find(running_.begin(), running_.end(), proc.from) != running_.end()) {
            Event(QM_PAGE_COLOR_UNKNOWN);
            stack_.clear();
            return;
        }
        running_.push_back(proc.from);
        if (const Body* lexed = Lex(proc)) {
            const std::span<Lexed> body = lexed->tokens;
            Lexed* const first = body.data();
            Lexed* const last = first + body.size();
            for (Lexed* next = first; next != last && !exhausted_;) {
                Lexed& l = *next++;
                if (l.kind == Kind::Name) {  // most of a body's tokens: told first
                    if (Spend()) Call(depth + 1, Variable(l), Handler(l));
                    continue;
                }
                switch (l.kind) {
                    case Kind::Number: case Kind::Boolean: case Kind::Literal: case Kind::String:
                        if (Spend()) Push(l.value);
                        break;
                    case Kind::OpenProc:
                        if (Spend()) next = first + Inner(body, static_cast<size_t>(&l - first), proc.to);
                        break;
                    default: {
                        Token t;
                        t.kind = l.kind;
                        Step(t, l.next, proc.to, depth + 1, false);
                        break;
                    }
                }
            }
        } else {
            for (uint32_t i = proc.from; i < proc.to && !exhausted_;) {
                Token t;
                i = NextToken(job_, proc.to, i, t);
                i = Step(t, i, proc.to, depth + 1, false);
            }
        }
        running_.pop_back();
    }

    // A body, its tokens lexed once; null once the bodies kept hold
    // kMaxLexed tokens (a body is then lexed as it runs).
    [[gnu::always_inline]] const Body* Lex(const Val& proc) {
        const Body* known = bodies_[proc.items];
        return known->lexed ? known : LexNow(proc);
    }
    // Lexes a body the first time it runs (kept out of line: once per body).
    [[gnu::noinline]] const Body* LexNow(const Val& proc) {
        std::vector<Lexed>& body = lexing_;
        body.clear();
        Token t;
        for (uint32_t i = proc.from; i < proc.to;) {
            const uint32_t next = NextToken(job_, proc.to, i, t);
            if (!Lexing(body, t, next)) return nullptr;
            i = next;
        }
        Keep(proc.items, body, {});
        return bodies_[proc.items];
    }
    void MakeLexed(Lexed& l, const Token& t, uint32_t next) const {
        l.kind = t.kind;
        l.next = next;
        if (t.kind == Kind::Name) l.name = t.text;
        else if (t.kind == Kind::Number) l.value = Number(t.number);
        else if (t.kind == Kind::Boolean) l.value = Boolean(t.text == "true");
        else if (t.kind == Kind::Literal) l.value = NameOf(t.text);
        else if (t.kind == Kind::String) l.value = StringOf(t.from, next);
    }
    // The operator a lexed name names (kNoOp none), looked up the first time.
    static uint16_t Handler(Lexed& l) {
        if (l.builtin == kUnresolved) l.builtin = BuiltinOf(l.name);
        return l.builtin;
    }

    // Pushes the procedure whose "{" is the lexed token `k` of `body` (of a
    // body ending at `end`); returns the index of the token after its "}".
    size_t Inner(std::span<Lexed> body, size_t k, uint32_t end) {
        Lexed& open = body[k];
        if (open.skip == 0) {
            uint32_t after = open.next;
            open.value = Procedure(open.next, Close(open.next, end, after));
            open.skip = static_cast<uint32_t>(
                std::partition_point(body.begin() + static_cast<std::ptrdiff_t>(k), body.end(),
                                     [after](const Lexed& x) { return x.next <= after; }) -
                (body.begin() + static_cast<std::ptrdiff_t>(k)));
        }
        Push(open.value);
        return k + open.skip;
    }

    // The stack's size and its top operands, to undo a body that may not run.
    struct Saved {
        size_t size;
        size_t kept;
        Val top[kRestored];
    };
    Saved Save() const {
        Saved s;
        s.size = stack_.size();
        s.kept = std::min(kRestored, s.size);
        for (size_t k = 0; k < s.kept; ++k) s.top[k] = stack_[s.size - s.kept + k];
        return s;
    }
    void Restore(const Saved& s) {
        stack_.Resize(std::max(s.size, s.kept));
        std::copy(s.top, s.top + s.kept, stack_.Top(s.kept));
    }

    // Runs a body whose running is not certain: its colours leave the page
    // unknown rather than colour, and the stack is put back as it was.
    void Maybe(const Val& proc, int depth) {
        const Saved saved = Save();
        ++conditional_;
        Run(proc, depth);
        --conditional_;
        Restore(saved);
    }

    void Loop(const Val& proc, int depth, bool pushControl) {
        const Saved saved = Save();
        ++conditional_;
        if (pushControl) Push(Val());
        Run(proc, depth);
        --conditional_;
        Restore(saved);
    }

    // One token; returns where the next one starts (a procedure's body is stepped over).
    uint32_t Step(const Token& t, uint32_t next, uint32_t end, int depth, bool top) {
        if (t.kind == Kind::None || !Spend()) return next;
        switch (t.kind) {
            case Kind::Number: Push(Number(t.number)); break;
            case Kind::Boolean: Push(Boolean(t.text == "true")); break;
            case Kind::Literal: Push(NameOf(t.text)); break;
            case Kind::String: Push(StringOf(t.from, next)); break;
            case Kind::OpenProc: {
                uint32_t after = next;
                Push(Procedure(next, Close(next, end, after)));
                if (top) pos_ = after;
                return after;
            }
            case Kind::OpenArray: case Kind::OpenDict: {
                Val m;
                m.t = T::Mark;
                Push(m);
                break;
            }
            case Kind::CloseArray: case Kind::CloseDict: {
                // The items above the mark go to the arena from where they stand on the stack.
                const size_t mark = stack_.MarkAt();
                size_t count = mark == SIZE_MAX ? 0 : stack_.stored() - mark - 1;
                if (t.kind == Kind::CloseDict && count % 2 != 0) count = 0;
                const Val group = Group(t.kind == Kind::CloseArray ? T::Array : T::Dict,
                                        mark == SIZE_MAX ? nullptr : stack_.StoredFrom(mark + 1), static_cast<uint32_t>(count));
                if (mark == SIZE_MAX) stack_.clear();
                else stack_.Cut(mark);
                Push(group);
                break;
            }
            case Kind::Name: Call(t.text, depth); break;
            default: break;
        }
        return top ? pos_ : next;
    }

    // Whether running `proc` may bear on colour, images, the count or later
    // definitions; a long one that cannot is not run, and what it leaves on
    // the stack is unknown (a short one runs: its operands may be colours).
    // Judged once per body.
    [[gnu::always_inline]] bool Bears(const Val& proc, int depth) {
        const int8_t known = bodies_[proc.items]->bears;
        return known >= 0 ? known != 0 : Judge(proc, depth);
    }
    // Judges a body the first time (kept out of line: once per body).
    [[gnu::noinline]] bool Judge(const Val& proc, int depth) {
        Body& known = *bodies_[proc.items];
        known.bears = 0;  // a body that calls itself adds nothing
        bool bears = depth >= kMaxCallDepth;
        uint32_t tokens = 0;
        if (const Body* lexed = Lex(proc)) {
            for (size_t k = 0; k < lexed->tokens.size() && !bears; ++k) {
                Lexed& l = lexed->tokens[k];
                if (l.kind != Kind::None) ++tokens;
                if (l.kind == Kind::Name) bears = NameBears(Variable(l), Handler(l), depth);
            }
        } else {
            Token t;
            for (uint32_t i = proc.from; i < proc.to && !bears;) {
                i = NextToken(job_, proc.to, i, t);
                if (t.kind != Kind::None) ++tokens;
                if (t.kind != Kind::Name) continue;
                bears = NameBears(Defined(t.text), BuiltinOf(t.text), depth);
            }
        }
        bears = bears || tokens <= kShortBody;
        known.bears = bears ? 1 : 0;
        return bears;
    }
    // Whether a name in a body may bear on colour: by its definition, else by the operator it names.
    bool NameBears(const Val* var, uint16_t builtin, int depth) {
        if (var) return var->alt != 0 || (var->t == T::Proc && Bears(*var, depth + 1));
        return builtin == kNoOp || kBearingIds.of[builtin];
    }

    Val* Variable(Lexed& l) {
        if (l.var || l.missedAt == vars_.size()) return l.var;
        l.var = Defined(l.name);
        if (!l.var) l.missedAt = vars_.size();
        return l.var;
    }

    void Call(std::string_view name, int depth) {
        // Longer than any operator's name and any name defined (data after
        // eexec, say): neither, and not worth hashing.
        if (name.size() > kBuiltins.Longest() && name.size() > vars_.longest()) return Call(depth, nullptr, kNoOp);
        const uint64_t h = NameHash(name);
        if (Val* var = vars_.find(name, h)) return Call(depth, var, var->alt ? BuiltinOf(name, h) : uint16_t{kNoOp});
        Call(depth, nullptr, BuiltinOf(name, h));
    }

    // A name whose definition (if any) and built-in handler (0 none) are known.
    void Call(int depth, Val* var, uint16_t handler) {
        if (var) {
            const Val v = *var;  // running it may redefine the name
            if (v.alt != 0) {
                Uncertain(v, depth, handler);
            } else if (v.t != T::Proc) {
                Push(v);
            } else if (Bears(v, depth)) {
                Run(v, depth);
            } else {
                stack_.clear();
            }
            return;
        }
        Builtin(handler, depth);
    }

    // The handlers' ids run in the order of Op: each is told by its first.
    // Only the choice is made here; each kind of handler has a frame of its
    // own, so the common ones do not pay for the registers and room of the
    // rare ones.
    [[gnu::noinline]] void Builtin(uint16_t handler, int depth) {
        if (handler >= kPlainBase) {
            PlainOperator(handler);
        } else if (handler >= kAdd) {
            Arithmetic(handler);
        } else if (handler >= kPop) {
            if (!StackInPlace(handler)) Stack(handler);
        } else if (handler >= kDef) {
            Control(handler, depth);
        } else if (handler >= kSetgray) {
            Colour(handler);
        } else {
            stack_.clear();  // what an operator unknown here takes and leaves cannot be known
        }
    }
    // `x y matrix transform`, `sx sy matrix scale`: with a matrix last, the
    // operator takes it too and leaves it (its values unknown) or its
    // results. An operand of unknown type is taken for a number, the
    // common form (`currentpoint translate`).
    [[gnu::noinline]] void PlainOperator(uint16_t handler) {
        const Plain& p = kPlain[handler - kPlainBase];
        const bool matrixLast = p.matrix == kTakesMatrix && stack_.back().t == T::Array;
        stack_.Drop(p.pops + (matrixLast ? 1u : 0u));
        if (p.matrix == kMakesMatrix || (matrixLast && p.pushes == 0)) return Push(Matrix());
        for (int k = 0; k < p.pushes; ++k) Push(Val());
    }
    [[gnu::noinline]] Val Matrix() {
        const Val values[6];
        return Group(T::Array, values, 6);
    }

    // A name defined in a body that may not have run means its last
    // definition or what it meant before: each is run as a body that may
    // not run (a colour in one leaves the page unknown; mono is decided
    // only when none has a colour), and what the call leaves is unknown.
    void Uncertain(const Val& v, int depth, uint16_t handler) {
        if (v.alt == kAnyMeaning) {
            Event(QM_PAGE_COLOR_UNKNOWN);
            stack_.clear();
            return;
        }
        // Running them may define more: a name's other meanings only grow
        // (at their end), so those there are now are read by index, each
        // copied before it runs.
        const size_t index = v.alt - 1u;
        const size_t count = meanings_[index].values.size();
        const bool builtin = meanings_[index].builtin;
        ++conditional_;
        for (size_t k = 0; k <= count; ++k) {
            const Val meaning = k == 0 ? v : meanings_[index].values[k - 1];
            if (meaning.t == T::Proc && Bears(meaning, depth)) Maybe(meaning, depth);
        }
        if (builtin && handler != kNoOp) {
            const Saved saved = Save();
            Builtin(handler, depth);
            Restore(saved);
        }
        --conditional_;
        stack_.clear();
    }

    // A definition; one made in a body that may not have run keeps what the
    // name meant before as another meaning.
    void Define(std::string_view name, Val value) {
        const uint64_t h = NameHash(name);
        const Val* old = vars_.find(name, h);
        if (!old && vars_.size() >= kMaxVariables) return;
        value.alt = 0;
        if (conditional_ > 0) {
            uint16_t alt = old ? old->alt : 0;
            if (alt == 0) {
                if (meanings_.size() >= kAnyMeaning - 1u) {
                    alt = kAnyMeaning;
                } else {
                    meanings_.emplace_back();
                    alt = static_cast<uint16_t>(meanings_.size());
                }
            }
            if (alt != kAnyMeaning) {
                Meanings& m = meanings_[alt - 1u];
                if (!old) {
                    m.builtin = true;
                } else if (m.values.size() < kMaxMeanings) {
                    Val before = *old;
                    before.alt = 0;
                    m.values.push_back(before);
                } else {
                    alt = kAnyMeaning;
                }
            }
            value.alt = alt;
        }
        vars_.insert(name, h) = value;
    }

    [[gnu::noinline]] void Control(uint16_t op, int depth) {
        if (op == kDef || op == kStore) {
            const Val value = Pop(), key = Pop();
            if (key.t == T::Name) Define(Text(key), value);
        } else if (op == kLoad) {
            const Val key = Pop();
            const Val* var = key.t == T::Name ? Defined(Text(key)) : nullptr;
            Push(var && var->alt == 0 ? *var : Val());
        } else if (op == kExec) {
            Run(Pop(), depth);
        } else if (op == kIf) {
            const Val proc = Pop(), cond = Pop();
            if (cond.t == T::Bool) {
                if (cond.b) Run(proc, depth);
            } else {
                Maybe(proc, depth);
            }
        } else if (op == kIfelse) {
            const Val no = Pop(), yes = Pop(), cond = Pop();
            if (cond.t == T::Bool) {
                Run(cond.b ? yes : no, depth);
            } else {
                Maybe(yes, depth);
                Maybe(no, depth);
            }
        } else if (op == kRepeat) {
            const Val proc = Pop(), times = Pop();
            if (times.t != T::Number || times.n >= 1) Loop(proc, depth, false);
        } else if (op == kFor) {
            const Val proc = Pop();
            Pop(), Pop(), Pop();
            Loop(proc, depth, true);
        } else if (op == kForall) {
            const Val proc = Pop();
            Pop();
            Loop(proc, depth, true);
        } else if (op == kLoop) {
            Loop(Pop(), depth, false);
        } else if (op == kStopped) {
            Maybe(Pop(), depth);
            Push(Boolean(false));
        } else if (op == kWhere) {
            Pop();
            Push(Val());
        } else if (op == kGet) {
            const Val key = Pop(), from = Pop();
            if (from.t == T::Array && key.t == T::Number && key.n >= 0 && key.n < from.count) {
                Push(arena_[from.items + static_cast<uint32_t>(key.n)]);
            } else if (const Val* v = key.t == T::Name ? Get(from, Text(key)) : nullptr) {
                Push(*v);
            } else {
                Push(Val());
            }
        } else if (op == kAload) {
            const Val a = Pop();
            if (a.t == T::Array) {
                for (uint32_t k = 0; k < a.count; ++k) Push(arena_[a.items + k]);
            } else {
                stack_.clear();
            }
            Push(a);
        } else if (op == kLength) {
            const Val a = Pop();
            Push(a.t == T::Array || a.t == T::Dict ? Number(a.t == T::Dict ? a.count / 2 : a.count) : Val());
        } else if (op == kCurrentfile) {
            Val f;
            f.t = T::File;  // no items: the job itself
            Push(f);
        } else if (op == kFilter) {
            Filter();
        } else if (op == kSetpagedevice) {
            const Val* size = Get(Pop(), "PageSize");
            double wl[32];
            if (size && size->count == 2 && Numbers(*size, wl) && wl[0] > 0 && wl[1] > 0 && conditional_ == 0) {
                partWidth_ = wl[0];
                partLength_ = wl[1];
            }
        } else if (op == kShowpage || op == kCopypage) {
            if (counting_) Showpage();
        }
    }

    void Showpage() {
        // A showpage of an embedded document, or one that may or may not run, leaves the count to the comments.
        const bool inEmbedded = std::any_of(embedded_.begin(), embedded_.end(),
                                            [&](const Span& e) { return pos_ > e.from && pos_ <= e.to; });
        if (inEmbedded) return;
        if (conditional_ > 0) certain = false;
        byShowpage.push_back(sheet_);
        sheet_ = QM_PAGE_MONO;
    }

    // pop, and exch and dup where their operands are stored: done in place
    // (the same as popping and pushing them), without Stack's frame.
    [[gnu::always_inline]] bool StackInPlace(uint16_t op) {
        if (op == kPop) {
            stack_.pop_back();
            return true;
        }
        if (Val* ab = op == kExch ? stack_.Stored(2) : nullptr) {
            std::swap(ab[0], ab[1]);
            return true;
        }
        if (op == kDup && stack_.stored() > 0 && stack_.size() < kMaxStack) {
            stack_.push_back(stack_.back());
            return true;
        }
        return false;
    }

    // The stack operators StackInPlace leaves (pop it always takes).
    [[gnu::noinline]] void Stack(uint16_t op) {
        if (op == kExch) {
            const Val a = Pop(), b = Pop();
            Push(a);
            Push(b);
        } else if (op == kDup) {
            const Val a = Pop();
            Push(a);
            Push(a);
        } else if (op == kCopy || op == kIndex) {
            const std::optional<double> n = NumberAt(0);
            Pop();
            if (!n || *n < 0 || *n > 64) {
                stack_.clear();
            } else if (op == kIndex) {
                const size_t k = static_cast<size_t>(*n);
                Push(k < stack_.size() ? stack_[stack_.size() - 1 - k] : Val());
            } else {
                const size_t k = static_cast<size_t>(*n);
                const size_t have = stack_.size();
                for (size_t i = 0; i < k; ++i) Push(have >= k ? stack_[have - k + i] : Val());
            }
        } else if (op == kRoll) {
            const std::optional<double> j = NumberAt(0), n = NumberAt(1);
            Pop(), Pop();
            if (!j || !n || !std::isfinite(*j) || *n < 0 || *n > stack_.size()) {
                stack_.clear();
            } else if (*n >= 1) {
                const auto count = static_cast<std::ptrdiff_t>(*n);
                const auto shift = static_cast<std::ptrdiff_t>(std::fmod(std::trunc(*j), static_cast<double>(count)) + count) % count;
                Val* top = stack_.Top(static_cast<size_t>(count));
                std::rotate(top, top + (count - shift), top + count);
            }
        } else if (op == kClear) {
            stack_.clear();
        } else if (op == kMark) {
            Val m;
            m.t = T::Mark;
            Push(m);
        } else if (op == kCleartomark) {
            ToMark(scratch_);
        } else if (op == kCounttomark) {
            Push(Number(static_cast<double>(stack_.AboveMark())));
        } else if (op == kCount) {
            Push(Number(static_cast<double>(stack_.size())));
        }
    }

    [[gnu::noinline]] void Arithmetic(uint16_t op) {
        if (op >= kNeg) {
            if (Val* a = stack_.Stored(1)) {  // as popping it and pushing the result, in place
                *a = Unary(op, *a);
                return;
            }
            const Val a = Pop();
            Push(Unary(op, a));
            return;
        }
        if (Val* ab = stack_.Stored(2)) {  // as popping both and pushing the result, in place
            // Arithmetic of two numbers, the common case, without Binary's call.
            const bool numeric = op <= kLe && ab[0].t == T::Number && ab[1].t == T::Number;
            ab[0] = numeric ? Numeric(op, ab[0].n, ab[1].n) : Binary(op, ab[0], ab[1]);
            stack_.Drop(1);
            return;
        }
        const Val b = Pop(), a = Pop();
        Push(Binary(op, a, b));
    }

    [[gnu::noinline]] static Val Unary(uint16_t op, const Val& a) {
        if (op == kNot) return a.t == T::Bool ? Boolean(!a.b) : Integer(a) ? Number(~*Integer(a)) : Val();
        if (a.t != T::Number) return Val();
        switch (op) {
            case kNeg: return Number(-a.n);
            case kAbs: return Number(std::fabs(a.n));
            case kRound: return Number(std::floor(a.n + 0.5));
            case kTruncate: case kCvi: return Number(std::trunc(a.n));
            case kFloor: return Number(std::floor(a.n));
            case kCeiling: return Number(std::ceil(a.n));
            case kSqrt: return a.n >= 0 ? Number(std::sqrt(a.n)) : Val();
            default: return a;
        }
    }

    // The arithmetic and comparisons of two numbers (kAdd to kLe).
    [[gnu::always_inline]] static Val Numeric(uint16_t op, double a, double b) noexcept {
        switch (op) {
            case kAdd: return Number(a + b);
            case kSub: return Number(a - b);
            case kMul: return Number(a * b);
            case kDiv: return b != 0 ? Number(a / b) : Val();
            case kIdiv: return b != 0 ? Number(std::trunc(a / b)) : Val();
            case kMod: return b != 0 ? Number(std::fmod(a, b)) : Val();
            case kEq: return Boolean(a == b);
            case kNe: return Boolean(a != b);
            case kGt: return Boolean(a > b);
            case kGe: return Boolean(a >= b);
            case kLt: return Boolean(a < b);
            default: return Boolean(a <= b);
        }
    }

    Val Binary(uint16_t op, const Val& a, const Val& b) const {
        if (a.t == T::Number && b.t == T::Number && op <= kLe) return Numeric(op, a.n, b.n);
        const bool logic = op == kAnd || op == kOr || op == kXor;
        if (a.t == T::Bool && b.t == T::Bool && (logic || op == kEq || op == kNe))
            return Boolean(op == kAnd ? a.b && b.b : op == kOr ? a.b || b.b : op == kXor ? a.b != b.b : (a.b == b.b) == (op == kEq));
        if (a.t == T::Name && b.t == T::Name && (op == kEq || op == kNe)) return Boolean((Text(a) == Text(b)) == (op == kEq));
        if (!logic) return Val();
        // Bitwise on integers (a text rendering mode tested by its bits).
        const std::optional<int32_t> x = Integer(a), y = Integer(b);
        return !x || !y ? Val() : Number(op == kAnd ? *x & *y : op == kOr ? *x | *y : *x ^ *y);
    }

    // A number that is a whole one in the range of PostScript's integers.
    static std::optional<int32_t> Integer(const Val& v) noexcept {
        if (v.t != T::Number || !(v.n >= -2147483648.0 && v.n <= 2147483647.0)) return std::nullopt;
        const auto whole = static_cast<int32_t>(v.n);
        if (static_cast<double>(whole) != v.n) return std::nullopt;
        return whole;
    }

    void Filter() {
        // source [parameters] /Name filter
        const Val name = Pop();
        Val source = Pop();
        if (source.t == T::Dict) source = Pop();
        if (name.t != T::Name || (source.t != T::File && source.t != T::String && source.t != T::Proc)) {
            Push(Val());
            return;
        }
        std::vector<Val> chain;
        if (source.t == T::File) {
            if (source.count == 0) chain.push_back(source);
            for (uint32_t k = 0; k < source.count; ++k) chain.push_back(arena_[source.items + k]);
        } else {
            chain.push_back(source);
        }
        chain.push_back(name);
        Push(Group(T::File, chain.data(), static_cast<uint32_t>(chain.size())));
    }

    // ---- colour ----

    Space SpaceOf(const Val& v) {
        Space s;
        s.family = Space::Unknown;
        const Val* family = &v;
        if (v.t == T::Array && v.count > 0) family = &arena_[v.items];
        if (family->t != T::Name) return s;
        const std::string_view f = Text(*family);
        if (f == "DeviceGray" || f == "CIEBasedA" || f == "CalGray") s.family = Space::Gray;
        else if (f == "DeviceRGB" || f == "CalRGB") s.family = Space::Rgb;
        else if (f == "DeviceCMYK") s.family = Space::Cmyk;
        else if (f == "Pattern") s.family = Space::Pattern;
        else if ((f == "Separation" || f == "DeviceN") && v.t == T::Array && v.count >= 2) {
            const Val& names = arena_[v.items + 1];
            if (f == "Separation") {
                s.inks.assign(1, pdf::ColourCheck::InkOf(InkName(names)));
            } else if (names.t == T::Array && names.count > 0 && names.count <= 32) {
                for (uint32_t k = 0; k < names.count; ++k)
                    s.inks += pdf::ColourCheck::InkOf(InkName(arena_[names.items + k]));
            } else {
                return s;
            }
            s.family = Space::Spot;
        } else if (f == "Indexed" && v.t == T::Array && v.count >= 4) {
            const Space base = SpaceOf(arena_[v.items + 1]);
            const Val& table = arena_[v.items + 3];
            if (table.t != T::String || (base.family != Space::Gray && base.family != Space::Rgb &&
                                         base.family != Space::Cmyk && base.family != Space::Spot)) {
                return s;
            }
            s.base = base.family;
            s.inks = base.inks;
            s.baseComponents = static_cast<uint8_t>(pdf::ColourCheck::Components(base));
            if (!StringBytes(table, s.palette)) return s;
            s.family = Space::Indexed;
        }
        return s;
    }

    std::string_view InkName(const Val& v) const {
        if (v.t == T::Name) return Text(v);
        if (v.t == T::String && v.to - v.from >= 2 && job_[v.from] == '(')
            return std::string_view(reinterpret_cast<const char*>(job_.data) + v.from + 1, v.to - v.from - 2);
        return "?";
    }

    // The bytes of a string token: literal (escapes read), hex or base-85.
    bool StringBytes(const Val& v, std::string& out) const {
        out.clear();
        if (v.t != T::String || v.to - v.from < 2) return false;
        const std::string_view text(reinterpret_cast<const char*>(job_.data) + v.from, v.to - v.from);
        if (text[0] == '<') {
            const bool base85 = text.size() >= 2 && text[1] == '~';
            return pdf::DecodeFilter(base85 ? "ASCII85Decode" : "ASCIIHexDecode", nullptr,
                                     text.substr(base85 ? 2 : 1), out, kMaxImageData);
        }
        for (size_t i = 1; i + 1 < text.size(); ++i) {
            char c = text[i];
            if (c == '\\' && i + 2 < text.size()) {
                c = text[++i];
                if (c >= '0' && c <= '7') {
                    int code = 0;
                    for (int k = 0; k < 3 && i < text.size() - 1 && text[i] >= '0' && text[i] <= '7'; ++k, ++i)
                        code = code * 8 + (text[i] - '0');
                    --i;
                    c = static_cast<char>(code);
                } else if (c == 'n') c = '\n';
                else if (c == 'r') c = '\r';
                else if (c == 't') c = '\t';
                else if (c == 'b') c = '\b';
                else if (c == 'f') c = '\f';
                else if (c == '\n' || c == '\r') continue;
            }
            out += c;
        }
        return true;
    }

    // Judges `n` operands from the top of the stack as a colour of `s`, and makes it current.
    void SetColour(const Space& s, size_t n) {
        double v[32];
        bool known = n <= 32 && stack_.size() >= n;
        for (size_t k = 0; k < n; ++k) {
            const std::optional<double> x = NumberAt(n - 1 - k);
            if (x && k < 32) v[k] = *x;
            else known = false;
        }
        for (size_t k = 0; k < n; ++k) Pop();
        space_ = s;
        colourKnown_ = known;
        for (size_t k = 0; k < 4 && k < n && known; ++k) colour_[k] = v[k];
        if (!known) Event(QM_PAGE_COLOR_UNKNOWN);
        else if (!pdf::ColourCheck::Neutral(s, v, n)) Event(QM_PAGE_COLOR);
    }

    // Out of line: its frame is large, and Builtin runs for every operator.
    [[gnu::noinline]] void Colour(uint16_t op) {
        Space s;
        if (op == kSetgray) {
            SetColour(s, 1);
        } else if (op == kSetrgbcolor) {
            s.family = Space::Rgb;
            SetColour(s, 3);
        } else if (op == kSetcmykcolor) {
            s.family = Space::Cmyk;
            SetColour(s, 4);
        } else if (op == kSethsbcolor) {
            // Neutral when unsaturated or black.
            const std::optional<double> b = NumberAt(0), sat = NumberAt(1), h = NumberAt(2);
            Pop(), Pop(), Pop();
            space_.family = Space::Unknown;
            colourKnown_ = false;
            if (!b || !sat || !h) Event(QM_PAGE_COLOR_UNKNOWN);
            else if (*sat > kSlack && *b > kSlack) Event(QM_PAGE_COLOR);
        } else if (op == kSetcolorspace) {
            space_ = SpaceOf(Pop());
            colourKnown_ = false;  // the initial colour: black or no tint, but Indexed's index 0
        } else if (op == kSetcolor) {
            if (space_.family == Space::Pattern || space_.family == Space::Unknown) {
                stack_.clear();
                Event(QM_PAGE_COLOR_UNKNOWN);
            } else {
                SetColour(space_, pdf::ColourCheck::Components(space_));
            }
        } else if (op == kSetpattern) {
            Pop();
            Event(QM_PAGE_COLOR_UNKNOWN);
        } else if (op == kCurrentrgbcolor || op == kCurrentgray || op == kCurrentcmykcolor) {
            Current(kOps[op]);
        } else if (op == kImage || op == kColorimage || op == kImagemask) {
            Image(kOps[op]);
        } else if (op == kShfill) {
            Shading(Pop());
        }
    }

    void Current(std::string_view name) {
        const bool gray = space_.family == Space::Gray && colourKnown_;
        const bool rgb = space_.family == Space::Rgb && colourKnown_;
        const bool cmyk = space_.family == Space::Cmyk && colourKnown_;
        if (name == "currentgray") {
            Push(gray ? Number(colour_[0]) : Val());
        } else if (name == "currentrgbcolor") {
            for (int k = 0; k < 3; ++k) Push(gray ? Number(colour_[0]) : rgb ? Number(colour_[k]) : Val());
        } else {
            for (int k = 0; k < 4; ++k)
                Push(cmyk ? Number(colour_[k]) : gray && k == 3 ? Number(1 - colour_[0]) : gray ? Number(0) : Val());
        }
    }

    void Shading(const Val& dict) {
        const Val* cs = Get(dict, "ColorSpace");
        if (!cs) {
            Event(QM_PAGE_COLOR_UNKNOWN);
            return;
        }
        const Space s = SpaceOf(*cs);
        if (s.family == Space::Gray) return;
        const Val* f = Get(dict, "Function");
        const Val* type = f ? Get(*f, "FunctionType") : nullptr;
        const Val* c0 = f ? Get(*f, "C0") : nullptr;
        const Val* c1 = f ? Get(*f, "C1") : nullptr;
        double a[32], b[32];
        if (!type || type->t != T::Number || type->n != 2 || !c0 || !c1 || !Numbers(*c0, a) || !Numbers(*c1, b) ||
            c0->count != c1->count) {
            Event(QM_PAGE_COLOR_UNKNOWN);
            return;
        }
        if (!pdf::ColourCheck::Neutral(s, a, c0->count) || !pdf::ColourCheck::Neutral(s, b, c1->count))
            Event(QM_PAGE_COLOR);
    }

    bool Numbers(const Val& array, double* out) const {
        if (array.t != T::Array || array.count > 32) return false;
        for (uint32_t k = 0; k < array.count; ++k) {
            const Val& v = arena_[array.items + k];
            if (v.t != T::Number) return false;
            out[k] = v.n;
        }
        return true;
    }

    // ---- images ----

    struct Picture {
        int64_t width = 0, height = 0, bpc = 0;
        Val source;
        bool decode = false;
        double ranges[64];
    };

    void Image(std::string_view name) {
        Picture p;
        Space s = space_;
        if (name == "colorimage") {
            const std::optional<double> comps = NumberAt(0);
            Pop();
            const Val multi = Pop();
            if (!comps || multi.t != T::Bool || multi.b) {
                // Several sources, or operands unknown: the data cannot be stepped over.
                stack_.clear();
                Unreadable();
                return;
            }
            s = Space();
            s.family = *comps == 1 ? Space::Gray : *comps == 3 ? Space::Rgb : *comps == 4 ? Space::Cmyk : Space::Unknown;
            p.source = Pop();
            Pop();  // the matrix
            Operands(p);
        } else if (stack_.size() > 0 && stack_.back().t == T::Dict) {
            const Val dict = Pop();
            const Val* w = Get(dict, "Width");
            const Val* h = Get(dict, "Height");
            const Val* bpc = Get(dict, "BitsPerComponent");
            const Val* source = Get(dict, "DataSource");
            const Val* decode = Get(dict, "Decode");
            const Val* mask = Get(dict, "ImageMask");
            if (mask && mask->t == T::Bool && mask->b) name = "imagemask";
            p.width = w && w->t == T::Number ? Whole(w->n) : 0;
            p.height = h && h->t == T::Number ? Whole(h->n) : 0;
            p.bpc = name == "imagemask" ? 1 : bpc && bpc->t == T::Number ? Whole(bpc->n) : 0;
            if (source) p.source = *source;
            p.decode = decode && name != "imagemask" && Numbers(*decode, p.ranges);
        } else {
            // w h bpc (or polarity) matrix source: grey samples or a mask.
            p.source = Pop();
            Pop();
            Operands(p);
            if (name == "imagemask") p.bpc = 1;
            s = Space();
        }
        const size_t comps = name == "imagemask" ? 1 : pdf::ColourCheck::Components(s);
        std::string data;
        const bool neutral = name == "imagemask" || s.family == Space::Gray ||
                             (s.family == Space::Spot && s.inks.find_first_not_of('\0') == std::string::npos);
        const bool read = Data(p, comps, data, neutral);
        if (neutral) return;
        if (!read || s.family == Space::Unknown || s.family == Space::Pattern || comps == 0) {
            Event(QM_PAGE_COLOR_UNKNOWN);
            return;
        }
        Event(pdf::ColourCheck::Samples(s, data, p.width, p.bpc, p.decode ? p.ranges : nullptr));
    }

    void Operands(Picture& p) {
        const std::optional<double> bpc = NumberAt(0), h = NumberAt(1), w = NumberAt(2);
        Pop(), Pop(), Pop();
        p.width = w ? Whole(*w) : 0;
        p.height = h ? Whole(*h) : 0;
        p.bpc = bpc ? Whole(*bpc) : (stack_.empty() ? 0 : 1);
    }

    // Data that cannot be read from the job nor stepped over: the rest of
    // the page may be image bytes.
    void Unreadable() {
        Event(QM_PAGE_COLOR_UNKNOWN);
        certain = false;
    }

    // Reads an image's data: from a string, from a procedure that returns a
    // string or reads the job, or from a filtered file over the job, stepping
    // the job over what the image reads from it. Only stepped over (not
    // decoded) when `skipOnly`.
    bool Data(const Picture& p, size_t comps, std::string& out, bool skipOnly) {
        if (p.width <= 0 || p.height <= 0 || p.bpc <= 0 || p.bpc > 16 || comps == 0) {
            Unreadable();
            return false;
        }
        const uint64_t size = (static_cast<uint64_t>(p.width) * comps * static_cast<uint64_t>(p.bpc) + 7) / 8 *
                              static_cast<uint64_t>(p.height);
        const Val& src = p.source;
        if (src.t == T::String) return StringBytes(src, out);
        if (src.t == T::Proc) {
            // { <string> } or { currentfile buffer readhexstring pop }
            Token t;
            const uint32_t next = NextToken(job_, src.to, src.from, t);
            Token after;
            NextToken(job_, src.to, next, after);
            if (t.kind == Kind::String && after.kind == Kind::None) return StringBytes(StringOf(t.from, next), out);
            const std::string_view body(reinterpret_cast<const char*>(job_.data) + src.from, src.to - src.from);
            if (body.find("currentfile") == std::string_view::npos) {
                if (!skipOnly) Event(QM_PAGE_COLOR_UNKNOWN);
                return false;
            }
            if (body.find("readhexstring") != std::string_view::npos) return FromJob({"ASCIIHexDecode"}, size, out);
            if (body.find("readstring") != std::string_view::npos) return FromJob({}, size, out);
            Unreadable();
            return false;
        }
        if (src.t == T::File) {
            std::vector<std::string_view> filters;
            if (src.count == 0 || arena_[src.items].t != T::File) {
                // Over a string or procedure: not the job; left open.
                if (!skipOnly) Event(QM_PAGE_COLOR_UNKNOWN);
                return false;
            }
            for (uint32_t k = 1; k < src.count; ++k) filters.push_back(Text(arena_[src.items + k]));
            return FromJob(filters, size, out);
        }
        Unreadable();
        return false;
    }

    // The image data standing in the job after the operator that reads it.
    bool FromJob(const std::vector<std::string_view>& filters, uint64_t size, std::string& out) {
        uint32_t from = pos_;
        if (from < end_ && IsWhite(job_[from])) ++from;  // the one whitespace that ends the operator
        uint32_t to;
        const std::string_view first = filters.empty() ? std::string_view() : filters.front();
        if (first == "ASCII85Decode") {
            to = from;
            while (to + 1 < end_ && !(job_[to] == '~' && job_[to + 1] == '>')) ++to;
            to = std::min(to + 2, end_);
        } else if (first == "ASCIIHexDecode") {
            // Hex digits and whitespace, up to `>` or as many digits as the image needs.
            uint64_t digits = 0;
            to = from;
            while (to < end_ && job_[to] != '>' && (IsWhite(job_[to]) || std::isxdigit(job_[to]))) {
                if (!IsWhite(job_[to]) && filters.size() == 1 && ++digits > 2 * size) break;
                ++to;
            }
            if (to < end_ && job_[to] == '>') ++to;
        } else if (first.empty()) {
            if (size > end_ - from) {
                Unreadable();
                return false;
            }
            to = from + static_cast<uint32_t>(size);
        } else {
            // Binary data coded by a filter: its length is only known by decoding it.
            Unreadable();
            return false;
        }
        pos_ = to;
        std::string data(reinterpret_cast<const char*>(job_.data) + from, to - from), next;
        for (size_t k = 0; k < filters.size(); ++k) {
            if (filters[k] == "DCTDecode" && k + 1 == filters.size()) {
                const uint8_t v = pdf::JpegColour(data, pdf::kMaxImagePixels);
                if (v != QM_PAGE_MONO) Event(v);
                out.clear();  // judged here: nothing more to judge
                return v == QM_PAGE_MONO;
            }
            next.clear();
            if (!pdf::DecodeFilter(filters[k], nullptr, data, next, kMaxImageData)) {
                Event(QM_PAGE_COLOR_UNKNOWN);
                return false;
            }
            data.swap(next);
        }
        out.swap(data);
        return true;
    }
};

// Whether the line at `i` may open with "N G obj" (digits, white space,
// digits, white space, the keyword; a comment on the way is left to the
// parser): the object parser is tried on those lines only, as most lines of
// PostScript page code start with a number.
bool ObjectLine(Bytes job, uint32_t i, uint32_t end) noexcept {
    for (int part = 0; part < 2; ++part) {
        const uint32_t digits = i;
        while (i < end && job[i] >= '0' && job[i] <= '9') ++i;
        if (i == digits || i >= end || !pdf::IsSpace(job[i])) return i > digits && i < end && job[i] == '%';
        while (i < end && pdf::IsSpace(job[i])) ++i;
        if (i < end && job[i] == '%') return true;
    }
    return i + 3 <= end && job[i] == 'o' && job[i + 1] == 'b' && job[i + 2] == 'j';
}

// A page written as PDF objects (ps2write): the "N G obj" of its page
// dictionary after the page comment, or nothing.
bool PdfPageObject(Bytes job, Span page, pdf::Value& dict) {
    const uint32_t window = std::min<uint32_t>(page.to, page.from + 4096);
    if (window <= page.from) return false;
    // No "obj" in the window, no object header (the parser reads no further): most pages.
    const std::string_view text(reinterpret_cast<const char*>(job.data) + page.from, window - page.from);
    if (text.find("obj") == std::string_view::npos) return false;
    for (uint32_t i = page.from; i < window; ++i) {
        if (job[i] != '\n' && job[i] != '\r') continue;
        const uint32_t line = i + 1;
        if (line >= window || !ObjectLine(job, line, window)) continue;
        pdf::Parser p(Bytes(job.data, window), line);
        uint32_t number = 0, generation = 0;
        if (!p.objectHeader(number, generation)) continue;
        try {
            dict = p.object();
        } catch (const pdf::Broken&) {
            return false;
        }
        const pdf::Value* type = dict.get("Type");
        return dict.kind == pdf::Kind::Dict && type && type->isName("Page");
    }
    return false;
}

}  // namespace

ColourPages ReadColours(Bytes job, Span prolog, const std::vector<Span>& pages, const std::vector<Span>& embedded) {
    ColourPages out;
    Evaluator e(job, embedded);
    bool prologRun = false;  // run before the first page it is needed for: pages of PDF objects need none
    std::unique_ptr<pdf::Document> doc;
    std::unique_ptr<pdf::ColourCheck> check;
    for (const Span& page : pages) {
        pdf::Value dict;
        if (PdfPageObject(job, page, dict)) {
            if (!doc) {
                doc = std::make_unique<pdf::Document>(job, 0);
                doc->repair();
                check = std::make_unique<pdf::ColourCheck>(*doc);
            }
            out.byComment.push_back(check->page(dict, nullptr));
            double box[4];
            const pdf::Value* media = dict.get("MediaBox");
            const bool sized = media && pdf::Numbers(*media, box, 4);
            out.paper.push_back({sized ? std::fabs(box[2] - box[0]) : 0, sized ? std::fabs(box[3] - box[1]) : 0});
            continue;
        }
        if (!prologRun) {
            e.Prolog(prolog);
            prologRun = true;
        }
        e.Page(page);
        out.byComment.push_back(e.Part());
        out.paper.push_back({e.PartWidth(), e.PartLength()});
    }
    out.byShowpage = std::move(e.byShowpage);
    out.showpagesCertain = e.certain && !e.Exhausted();
    return out;
}

}  // namespace qm::psaccurate
