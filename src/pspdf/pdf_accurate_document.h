// The accurate PDF reader's view of a whole file: the cross-reference chain
// (tables, streams, hybrids, incremental updates), object streams, stream
// filters, and the repair of a file whose cross-reference data is broken.
// Memory and work stay bounded whatever the file claims.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "pspdf/pdf_accurate_object.h"

namespace qm::pdf {

// Limits of one document.
inline constexpr uint32_t kMaxStreamOutput = 64u << 20;      // one decoded stream
inline constexpr uint64_t kMaxDecodedTotal = 512ull << 20;   // all decoding of one count
inline constexpr uint32_t kMaxXrefSections = 4096;           // sections in a chain
inline constexpr uint32_t kMaxObjects = 2u << 20;            // cross-reference entries kept
inline constexpr uint32_t kMaxCachedObjectStreams = 128u << 20;  // decoded object streams kept at once
inline constexpr uint32_t kRepairWorkFactor = 16;            // repair parses at most this many times the file
inline constexpr uint32_t kHeaderWindow = 1024;              // "%PDF-" within this of the body
inline constexpr uint32_t kStartxrefWindow = 64 * 1024;      // "startxref" within this of the end

// An indirect object: its value and, for a stream, where its data lies.
struct Object {
    Value value;
    bool stream = false;
    Bytes data;  // the stream's raw (still encoded) bytes
};

// The image codecs among the filters.
inline bool IsImageCodec(std::string_view filter) noexcept {
    return filter == "DCTDecode" || filter == "DCT" || filter == "JPXDecode" || filter == "JBIG2Decode" ||
           filter == "CCITTFaxDecode" || filter == "CCF";
}

// One filter of a stream, by its name (abbreviations of inline images
// included), with its parameters (null: none). False for a filter it does
// not know, corrupt data, or output past `cap`.
bool DecodeFilter(std::string_view name, const Value* parms, std::string_view in, std::string& out, uint32_t cap);

class Document {
public:
    // `file` is the whole job; `body` is where the job proper starts after
    // any wrapper (PJL, UEL).
    Document(Bytes file, uint32_t body);

    // Finds the header; false when there is no "%PDF-" near the start.
    bool header() const noexcept { return header_ < file_.size; }
    uint32_t headerOffset() const noexcept { return header_; }
    // Reads the cross-reference chain from the last "startxref". Throws
    // Broken when it is missing or damaged.
    void readXref();
    // Rebuilds the cross-reference data by scanning the file for objects,
    // trailers, cross-reference streams and object streams; later
    // definitions win. False when no catalog can be found.
    bool repair();
    bool repaired() const noexcept { return repaired_; }

    const Value& trailer() const noexcept { return trailer_; }

    // The object `number`; null for a free or missing one. Throws Broken
    // when the cross-reference data points at something else.
    Object fetch(uint32_t number);
    // `v` itself, or the object a reference names (kept in `holder`).
    const Value& resolve(const Value& v, Object& holder);
    // The value under `key` of `dict`, references followed.
    const Value& lookup(const Value& dict, std::string_view key, Object& holder);

    // Decodes a stream through its filters into `out`, at most `cap` bytes
    // (false when a filter is unsupported, the data is corrupt or the output
    // exceeds the cap or the document's budget). With `image`, a last filter
    // that is an image codec (DCT, JPX, JBIG2, CCITT) is not applied: its
    // name goes to `image` and `out` holds the coded image.
    bool decode(const Object& stream, std::string& out, uint32_t cap = kMaxStreamOutput, std::string* image = nullptr);

    // Bytes of objects parsed so far: what optional work (the colour check)
    // measures its budget against.
    uint64_t parsed() const noexcept { return parsed_; }
    uint32_t size() const noexcept { return file_.size; }

private:
    struct Entry {
        uint8_t type = 0;     // 0 free, 1 at an offset, 2 inside an object stream
        uint32_t where = 0;   // offset, or the object stream's number
        uint32_t index = 0;   // generation, or the index in the object stream
        uint64_t order = 0;   // repair: where the definition stands; later wins
    };
    struct ObjectStream {
        std::string data;
        std::vector<std::pair<uint32_t, uint32_t>> members;  // number, offset in data
    };
    using Section = std::unordered_map<uint32_t, Entry>;

    uint32_t locate(uint32_t offset) const noexcept;
    void readTable(Parser& p, Section& section);
    Value readStreamSection(uint32_t offset, Section& section);
    void merge(const Section& section);
    void mergeTrailer(const Value& t);
    Object parseAt(uint32_t offset, uint32_t number, bool checkNumber);
    Bytes streamData(uint32_t at, const Value& dict);
    const ObjectStream* objectStream(uint32_t number);
    uint32_t scanObject(uint32_t at, uint32_t number, std::vector<std::pair<uint32_t, uint32_t>>& objectStreams,
                        uint32_t& catalog, uint32_t& lastTrailer, uint64_t& work);

    Bytes file_;
    uint32_t header_;
    uint32_t delta_ = 0;  // added to every offset: bytes before the header the offsets ignore
    bool repaired_ = false;
    std::unordered_map<uint32_t, Entry> xref_;
    Value trailer_;
    std::unordered_map<uint32_t, ObjectStream> objectStreams_;
    uint64_t decoded_ = 0;
    uint64_t cached_ = 0;      // bytes of objectStreams_
    uint64_t parsed_ = 0;
    uint32_t endstreamFrom_ = UINT32_MAX, endstreamAt_ = 0;  // the last search for "endstream"
    uint32_t maxObjects_;      // entries a file of this size can hold
    int fetching_ = 0;
};

}  // namespace qm::pdf
