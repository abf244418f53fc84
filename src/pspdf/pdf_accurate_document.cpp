// Cross-reference data, object streams and repair for the accurate PDF reader.
#include "pspdf/pdf_accurate_document.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace qm::pdf {
namespace {

// The first occurrence of `lit` in [from, to), or `to` when none.
uint32_t Find(Bytes b, uint32_t from, uint32_t to, std::string_view lit) noexcept {
    to = std::min(to, b.size);
    if (lit.empty() || from >= to || to - from < lit.size()) return to;
    // string_view's search: memmem is not in every C library (MinGW has none).
    const std::string_view range(reinterpret_cast<const char*>(b.data) + from, to - from);
    const size_t hit = range.find(lit);
    return hit != std::string_view::npos ? from + static_cast<uint32_t>(hit) : to;
}

// The last occurrence of `lit` that starts in [from, end), or b.size when none.
uint32_t FindLast(Bytes b, uint32_t from, std::string_view lit) noexcept {
    const uint32_t n = static_cast<uint32_t>(lit.size());
    if (b.size < n) return b.size;
    for (uint32_t i = b.size - n + 1; i-- > from;) {
        if (b[i] == static_cast<uint8_t>(lit[0]) && std::memcmp(b.data + i, lit.data(), n) == 0) return i;
    }
    return b.size;
}

bool IsInt(const Value* v) noexcept { return v != nullptr && v->kind == Kind::Int; }

}  // namespace

// Every object takes some bytes of the file, even packed in an object
// stream; entries beyond that are claims nothing backs.
Document::Document(Bytes file, uint32_t body)
    : file_(file), maxObjects_(static_cast<uint32_t>(std::min<uint64_t>(kMaxObjects, file.size / 4 + 1024))) {
    const uint32_t window = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{body} + kHeaderWindow, file.size));
    header_ = Find(file, body, window, "%PDF-");
    if (header_ >= window) header_ = file.size;
}

uint32_t Document::locate(uint32_t offset) const noexcept {
    const uint64_t at = uint64_t{offset} + delta_;
    return at < file_.size ? static_cast<uint32_t>(at) : file_.size;
}

void Document::readXref() {
    const uint32_t tailFrom = file_.size > kStartxrefWindow ? file_.size - kStartxrefWindow : 0;
    const uint32_t sx = FindLast(file_, tailFrom, "startxref");
    if (sx >= file_.size) throw Broken("no startxref");
    Parser p(file_, sx + 9);
    uint64_t first = 0;
    if (!p.unsignedInt(first) || first >= file_.size) throw Broken("startxref points nowhere");

    // Offsets count from the file's first byte, or, in files with bytes
    // before the header that the writer never saw, from the header.
    auto sectionAt = [&](uint32_t at) {
        Parser q(file_, at);
        uint32_t n = 0, g = 0;
        return q.keyword("xref") || (q.seek(at), q.objectHeader(n, g));
    };
    delta_ = 0;
    if (!sectionAt(static_cast<uint32_t>(first))) {
        delta_ = header_;
        if (header_ == 0 || header_ >= file_.size || !sectionAt(locate(static_cast<uint32_t>(first)))) {
            throw Broken("startxref points at no cross-reference section");
        }
    }

    std::unordered_set<uint32_t> seen;
    uint64_t next = first;
    bool more = true;
    while (more) {
        if (next >= file_.size || !seen.insert(static_cast<uint32_t>(next)).second) break;
        if (seen.size() > kMaxXrefSections) throw Broken("too many cross-reference sections");
        const uint32_t at = locate(static_cast<uint32_t>(next));
        Section section;
        Value trailer;
        Parser p2(file_, at);
        if (p2.keyword("xref")) {
            readTable(p2, section);
            if (!p2.keyword("trailer")) throw Broken("no trailer after the cross-reference table");
            trailer = p2.object();
            if (trailer.kind != Kind::Dict) throw Broken("trailer is not a dictionary");
            // A hybrid file: objects the table leaves free or out are
            // found through its cross-reference stream.
            if (const Value* s = trailer.get("XRefStm"); IsInt(s) && s->integer >= 0 && s->integer < file_.size) {
                Section hidden;
                readStreamSection(locate(static_cast<uint32_t>(s->integer)), hidden);
                for (const auto& [n, e] : hidden) {
                    auto it = section.find(n);
                    if (it == section.end() || it->second.type == 0) section[n] = e;
                }
            }
        } else {
            trailer = readStreamSection(at, section);
        }
        merge(section);
        mergeTrailer(trailer);
        const Value* prev = trailer.get("Prev");
        more = IsInt(prev) && prev->integer >= 0;
        if (more) next = static_cast<uint64_t>(prev->integer);
    }
    if (trailer_.get("Root") == nullptr) throw Broken("trailer names no catalog");
}

void Document::readTable(Parser& p, Section& section) {
    for (;;) {
        const uint32_t keep = p.pos();
        uint64_t firstNumber = 0, count = 0;
        if (!p.unsignedInt(firstNumber) || !p.unsignedInt(count)) {
            p.seek(keep);
            return;
        }
        for (uint64_t i = 0; i < count; ++i) {
            uint64_t offset = 0, generation = 0;
            if (!p.unsignedInt(offset) || !p.unsignedInt(generation)) throw Broken("bad cross-reference entry");
            const std::string_view use = p.word();
            const uint64_t number = firstNumber + i;
            if (number > UINT32_MAX || use.size() != 1 || (use[0] != 'n' && use[0] != 'f')) {
                throw Broken("bad cross-reference entry");
            }
            if (section.size() >= maxObjects_) throw Broken("too many objects");
            Entry e;
            e.type = use[0] == 'n' && offset > 0 && offset <= UINT32_MAX ? 1 : 0;
            e.where = static_cast<uint32_t>(e.type ? offset : 0);
            e.index = static_cast<uint32_t>(generation & 0xFFFF);
            section.emplace(static_cast<uint32_t>(number), e);
        }
    }
}

Value Document::readStreamSection(uint32_t offset, Section& section) {
    Object x = parseAt(offset, 0, false);
    if (!x.stream || !x.value.get("Type") || !x.value.get("Type")->isName("XRef")) {
        throw Broken("no cross-reference stream where one should be");
    }
    const Value* w = x.value.get("W");
    if (w == nullptr || w->kind != Kind::Array || w->items.size() != 3) throw Broken("bad /W");
    uint32_t widths[3], entry = 0;
    for (int i = 0; i < 3; ++i) {
        const Value& v = w->items[i];
        if (v.kind != Kind::Int || v.integer < 0 || v.integer > 8) throw Broken("bad /W");
        widths[i] = static_cast<uint32_t>(v.integer);
        entry += widths[i];
    }
    if (entry == 0) throw Broken("bad /W");
    std::string data;
    if (!decode(x, data)) throw Broken("cross-reference stream does not decode");
    std::vector<std::pair<uint64_t, uint64_t>> index;
    if (const Value* ix = x.value.get("Index"); ix != nullptr && ix->kind == Kind::Array) {
        for (size_t i = 0; i + 1 < ix->items.size(); i += 2) {
            if (ix->items[i].kind != Kind::Int || ix->items[i + 1].kind != Kind::Int || ix->items[i].integer < 0 ||
                ix->items[i + 1].integer < 0) {
                throw Broken("bad /Index");
            }
            index.emplace_back(ix->items[i].integer, ix->items[i + 1].integer);
        }
    } else {
        const Value* size = x.value.get("Size");
        if (!IsInt(size) || size->integer < 0) throw Broken("bad /Size");
        index.emplace_back(0, size->integer);
    }
    const auto field = [&](size_t at, uint32_t width) {
        uint64_t v = 0;
        for (uint32_t k = 0; k < width; ++k) v = (v << 8) | static_cast<uint8_t>(data[at + k]);
        return v;
    };
    size_t at = 0;
    for (const auto& [firstNumber, count] : index) {
        for (uint64_t i = 0; i < count && at + entry <= data.size(); ++i, at += entry) {
            const uint64_t number = firstNumber + i;
            if (number > UINT32_MAX) break;
            if (section.size() >= maxObjects_) throw Broken("too many objects");
            const uint64_t type = widths[0] ? field(at, widths[0]) : 1;
            const uint64_t f2 = field(at + widths[0], widths[1]);
            const uint64_t f3 = field(at + widths[0] + widths[1], widths[2]);
            Entry e;
            if ((type == 1 && f2 > 0 && f2 <= UINT32_MAX) || (type == 2 && f2 <= UINT32_MAX && f3 <= UINT32_MAX)) {
                e.type = static_cast<uint8_t>(type);
                e.where = static_cast<uint32_t>(f2);
                e.index = static_cast<uint32_t>(type == 1 ? (f3 & 0xFFFF) : f3);
            }
            section.emplace(static_cast<uint32_t>(number), e);
        }
    }
    return std::move(x.value);
}

void Document::merge(const Section& section) {
    for (const auto& [n, e] : section) {
        if (xref_.size() >= maxObjects_) throw Broken("too many objects");
        xref_.emplace(n, e);  // a newer section's entry stays
    }
}

void Document::mergeTrailer(const Value& t) {
    if (trailer_.kind != Kind::Dict) {
        trailer_ = t;
        return;
    }
    for (size_t i = 0; i + 1 < t.items.size(); i += 2) {
        if (trailer_.get(t.items[i].text) == nullptr) {
            trailer_.items.push_back(t.items[i]);
            trailer_.items.push_back(t.items[i + 1]);
        }
    }
}

Bytes Document::streamData(uint32_t at, const Value& dict) {
    // "stream" ends with CR LF or LF; a lone CR is tolerated.
    if (file_.at(at) == '\r') ++at;
    if (file_.at(at) == '\n') ++at;
    if (at > file_.size) at = file_.size;
    const Value* length = dict.get("Length");
    int64_t n = -1;
    if (IsInt(length)) {
        n = length->integer;
    } else if (length != nullptr && length->kind == Kind::Ref && fetching_ < 2 && length->integer != 0) {
        Object l = fetch(static_cast<uint32_t>(length->integer));
        if (l.value.kind == Kind::Int) n = l.value.integer;
    }
    if (n >= 0 && file_.has(at, static_cast<uint32_t>(std::min<int64_t>(n, UINT32_MAX)))) {
        Parser p(file_, at + static_cast<uint32_t>(n));
        if (p.keyword("endstream")) return Bytes(file_.data + at, static_cast<uint32_t>(n));
    }
    // A wrong or missing length: the data runs to "endstream".
    // Remember the last search: many streams may run to the same end.
    if (!(at >= endstreamFrom_ && at <= endstreamAt_)) {
        endstreamFrom_ = at;
        endstreamAt_ = Find(file_, at, file_.size, "endstream");
    }
    uint32_t end = endstreamAt_;
    if (end >= file_.size) throw Broken("stream without endstream");
    if (end > at && file_[end - 1] == '\n') --end;
    if (end > at && file_[end - 1] == '\r') --end;
    return Bytes(file_.data + at, end - at);
}

Object Document::parseAt(uint32_t offset, uint32_t number, bool checkNumber) {
    Parser p(file_, offset);
    uint32_t n = 0, g = 0;
    if (!p.objectHeader(n, g) || (checkNumber && n != number)) throw Broken("object not where the cross-reference says");
    Object o;
    o.value = p.object();
    const uint32_t keep = p.pos();
    parsed_ += keep - offset;
    if (o.value.kind == Kind::Dict && p.keyword("stream")) {
        o.stream = true;
        // "stream" and its end of line: the data starts after them.
        o.data = streamData(p.pos(), o.value);
    } else {
        p.seek(keep);
    }
    return o;
}

Object Document::fetch(uint32_t number) {
    auto it = xref_.find(number);
    if (it == xref_.end() || it->second.type == 0) return {};
    if (fetching_ > 8) throw Broken("objects refer to each other too deep");
    struct Depth {
        int& d;
        explicit Depth(int& x) : d(x) { ++d; }
        ~Depth() { --d; }
    } depth(fetching_);
    const Entry e = it->second;
    if (e.type == 1) return parseAt(locate(e.where), number, true);
    const ObjectStream* s = objectStream(e.where);
    if (s == nullptr) throw Broken("object stream missing or broken");
    uint32_t start = UINT32_MAX;
    if (e.index < s->members.size() && s->members[e.index].first == number) {
        start = s->members[e.index].second;
    } else {
        for (const auto& [n, off] : s->members) {
            if (n == number) start = off;
        }
    }
    if (start == UINT32_MAX) throw Broken("object not in its object stream");
    Parser p(Bytes(reinterpret_cast<const uint8_t*>(s->data.data()), static_cast<uint32_t>(s->data.size())), start);
    Object o;
    o.value = p.object();
    parsed_ += p.pos() - start;
    return o;
}

const Document::ObjectStream* Document::objectStream(uint32_t number) {
    if (auto it = objectStreams_.find(number); it != objectStreams_.end()) return &it->second;
    auto e = xref_.find(number);
    if (e == xref_.end() || e->second.type != 1) return nullptr;  // object streams never nest
    Object o = parseAt(locate(e->second.where), number, true);
    if (!o.stream) return nullptr;
    const Value* n = o.value.get("N");
    const Value* first = o.value.get("First");
    if (!IsInt(n) || !IsInt(first) || n->integer < 0 || first->integer < 0) return nullptr;
    ObjectStream s;
    if (!decode(o, s.data)) return nullptr;
    const Bytes data(reinterpret_cast<const uint8_t*>(s.data.data()), static_cast<uint32_t>(s.data.size()));
    if (static_cast<uint64_t>(first->integer) > data.size) return nullptr;
    Parser p(data, 0);
    for (int64_t i = 0; i < n->integer; ++i) {
        uint64_t num = 0, off = 0;
        if (!p.unsignedInt(num) || !p.unsignedInt(off) || num > UINT32_MAX ||
            off + static_cast<uint64_t>(first->integer) >= data.size) {
            break;
        }
        s.members.emplace_back(static_cast<uint32_t>(num), static_cast<uint32_t>(off + first->integer));
    }
    if (cached_ + s.data.size() > kMaxCachedObjectStreams) {
        objectStreams_.clear();
        cached_ = 0;
    }
    cached_ += s.data.size();
    return &objectStreams_.emplace(number, std::move(s)).first->second;
}

const Value& Document::resolve(const Value& v, Object& holder) {
    if (v.kind != Kind::Ref) return v;
    holder = fetch(static_cast<uint32_t>(v.integer));
    return holder.value;
}

const Value& Document::lookup(const Value& dict, std::string_view key, Object& holder) {
    const Value* v = dict.get(key);
    return v ? resolve(*v, holder) : NullValue();
}

// Repair: every "N G obj" in the file, in order, later definitions winning;
// the last trailer (or cross-reference stream dictionary) that names a
// catalog; and the members of every object stream found.
bool Document::repair() {
    repaired_ = true;
    delta_ = 0;
    xref_.clear();
    objectStreams_.clear();
    cached_ = 0;
    uint64_t work = 0;
    trailer_ = Value();
    std::vector<std::pair<uint32_t, uint32_t>> streams;  // object stream number, offset
    uint32_t catalog = 0;
    uint32_t lastTrailer = UINT32_MAX;
    uint32_t i = header_ < file_.size ? header_ : 0;
    uint32_t nextObj = Find(file_, i, file_.size, "obj");
    uint32_t nextTrailer = Find(file_, i, file_.size, "trailer");
    while (i < file_.size) {
        if (nextObj < i) nextObj = Find(file_, i, file_.size, "obj");
        if (nextTrailer < i) nextTrailer = Find(file_, i, file_.size, "trailer");
        if (nextObj >= file_.size && nextTrailer >= file_.size) break;
        if (nextTrailer < nextObj) {
            Parser p(file_, nextTrailer + 7);
            try {
                Value t = p.object();
                if (t.kind == Kind::Dict && t.get("Root") != nullptr) {
                    trailer_ = std::move(t);
                    lastTrailer = nextTrailer;
                }
            } catch (const Broken&) {
            }
            i = nextTrailer + 7;
            continue;
        }
        // "obj" closing "N G obj": walk back over the generation and number.
        const uint32_t kw = nextObj;
        i = kw + 3;
        if (IsRegular(file_.at(kw + 3))) continue;
        uint32_t b = kw;
        auto backSpaces = [&] {
            const uint32_t from = b;
            while (b > 0 && IsSpace(file_[b - 1])) --b;
            return b < from;
        };
        auto backDigits = [&] {
            const uint32_t from = b;
            while (b > 0 && file_[b - 1] >= '0' && file_[b - 1] <= '9' && from - b < 10) --b;
            return b < from;
        };
        if (!backSpaces() || !backDigits() || !backSpaces() || !backDigits()) continue;
        if (b > 0 && IsRegular(file_[b - 1])) continue;
        Parser p(file_, b);
        uint32_t number = 0, generation = 0;
        if (!p.objectHeader(number, generation)) continue;
        if (xref_.size() >= maxObjects_) break;
        Entry e;
        e.type = 1;
        e.where = b;
        e.index = generation;
        e.order = b;
        xref_[number] = e;
        i = scanObject(b, number, streams, catalog, lastTrailer, work);
    }
    // Members of object streams, unless defined again later in the file.
    for (const auto& [number, offset] : streams) {
        const ObjectStream* s = nullptr;
        try {
            s = objectStream(number);
        } catch (const Broken&) {
        }
        if (s == nullptr) continue;
        for (uint32_t k = 0; k < s->members.size(); ++k) {
            const uint32_t member = s->members[k].first;
            auto it = xref_.find(member);
            if (it != xref_.end() && it->second.order > offset) continue;
            if (xref_.size() >= maxObjects_) break;
            Entry e;
            e.type = 2;
            e.where = number;
            e.index = k;
            e.order = offset;
            xref_[member] = e;
        }
    }
    // No trailer, one older than the last catalog found, or one whose
    // catalog is nowhere: name the last catalog found.
    const Value* named = trailer_.get("Root");
    const bool namedExists = named != nullptr && named->kind == Kind::Ref &&
                             xref_.count(static_cast<uint32_t>(named->integer)) != 0;
    if (catalog != 0 && (!namedExists || lastTrailer == UINT32_MAX || xref_[catalog].order > lastTrailer)) {
        Value root;
        root.kind = Kind::Ref;
        root.integer = catalog;
        std::vector<Value> items;
        for (size_t k = 0; k + 1 < trailer_.items.size(); k += 2) {
            if (trailer_.items[k].text == "Root") continue;
            items.push_back(trailer_.items[k]);
            items.push_back(trailer_.items[k + 1]);
        }
        Value key;
        key.kind = Kind::Name;
        key.text = "Root";
        items.push_back(std::move(key));
        items.push_back(std::move(root));
        trailer_.kind = Kind::Dict;
        trailer_.items = std::move(items);
    }
    return trailer_.get("Root") != nullptr;
}

// Parses the object found by repair at `at` and returns where scanning goes
// on: past its stream data, so bytes inside streams are never taken for
// objects. Notes object streams, cross-reference streams and catalogs.
uint32_t Document::scanObject(uint32_t at, uint32_t number, std::vector<std::pair<uint32_t, uint32_t>>& streams,
                              uint32_t& catalog, uint32_t& lastTrailer, uint64_t& work) {
    Parser p(file_, at);
    uint32_t n = 0, g = 0;
    p.objectHeader(n, g);
    const uint32_t afterHeader = p.pos();
    // Objects that fail to parse are scanned again from inside; past the
    // budget, objects are only noted, not read.
    if (work > uint64_t{kRepairWorkFactor} * file_.size + (1u << 20)) return afterHeader;
    struct Tally {
        uint64_t& work;
        const Parser& p;
        uint32_t from;
        ~Tally() { work += p.pos() - from; }
    } tally{work, p, afterHeader};
    try {
        Value v = p.object();
        if (v.kind != Kind::Dict) return p.pos();
        const Value* type = v.get("Type");
        if (type != nullptr && type->isName("Catalog")) catalog = number;
        if (!p.keyword("stream")) return p.pos();
        Bytes data = streamData(p.pos(), v);
        if (type != nullptr && type->isName("ObjStm")) streams.emplace_back(number, at);
        if (type != nullptr && type->isName("XRef") && v.get("Root") != nullptr) {
            trailer_ = std::move(v);
            lastTrailer = at;
        }
        return static_cast<uint32_t>(data.data - file_.data) + data.size;
    } catch (const Broken&) {
        return afterHeader;
    }
}

}  // namespace qm::pdf
