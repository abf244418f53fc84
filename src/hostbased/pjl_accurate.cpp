#include "hostbased/pjl_accurate.h"

#include <string_view>

#include "pcl/pjl.h"

namespace qm::accurate {
namespace {

constexpr std::string_view kUel = "\x1b%-12345X";
constexpr uint32_t kLongestLine = 4096;  // no driver writes a longer PJL line
constexpr uint32_t kValueMax = 31;

bool IsBlank(uint8_t b) { return b == ' ' || b == '\t'; }

uint8_t Upper(uint8_t b) { return b >= 'a' && b <= 'z' ? static_cast<uint8_t>(b - 32) : b; }

// A word or value of a PJL line, upper case, without quotes; cut to 31 bytes.
struct Token {
    char text[kValueMax + 1] = {};
    uint32_t size = 0;
    bool is(std::string_view s) const { return std::string_view(text, size) == s; }
};

// Reads [i, end) up to a blank or "=" (a word) or to the end (a value).
Token ReadToken(const Bytes& job, uint32_t& i, uint32_t end, bool word) {
    Token t;
    while (i < end && IsBlank(job[i])) ++i;
    while (i < end) {
        const uint8_t b = job[i];
        if (b == '\r' || b == '\n') break;
        if (word && (IsBlank(b) || b == '=')) break;
        if (b != '"' && t.size < kValueMax) t.text[t.size++] = static_cast<char>(Upper(b));
        ++i;
    }
    if (!word) {
        while (t.size > 0 && IsBlank(static_cast<uint8_t>(t.text[t.size - 1]))) --t.size;
        t.text[t.size] = '\0';
    }
    return t;
}

uint32_t Number(const Token& t) {
    uint64_t v = 0;
    for (uint32_t k = 0; k < t.size && t.text[k] >= '0' && t.text[k] <= '9'; ++k) {
        v = v * 10 + static_cast<uint32_t>(t.text[k] - '0');
        if (v > 0xFFFFFFFFu) return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(v);
}

void ApplySetting(const Token& key, const Token& value, PjlHeader& h) {
    if (key.is("COPIES")) {
        h.copies = Number(value);
    } else if (key.is("QTY")) {
        h.quantity = Number(value);
    } else if (key.is("DUPLEX")) {
        h.duplex = value.is("OFF") ? PjlDuplex::Off : PjlDuplex::On;  // ON, MANUAL
    } else if (key.is("COLORMODE")) {
        h.colourMode = value.is("COLOR") || value.is("COLOUR") ? 1 : 0;
    } else if (key.is("PAPER")) {
        h.paperWidth = h.paperLength = 0.0;
        for (const PaperName& p : kPaperNames) {
            if (value.is(p.name)) {
                h.paperWidth = p.width;
                h.paperLength = p.length;
            }
        }
    }
}

}  // namespace

PjlHeader ReadPjlHeader(Bytes job, uint32_t from) noexcept {
    PjlHeader h;
    uint32_t i = from;
    for (;;) {
        if (job.matches(i, kUel)) i += static_cast<uint32_t>(kUel.size());
        if (!job.matches(i, "@PJL")) break;
        const uint32_t limit = job.left(i) > kLongestLine ? i + kLongestLine : job.size;
        uint32_t end = i;
        while (end < limit && job[end] != '\n') ++end;
        if (end == limit && limit != job.size) break;  // no line feed where one must be
        uint32_t k = i + 4;
        const Token command = ReadToken(job, k, end, true);
        if (command.is("SET")) {
            Token key = ReadToken(job, k, end, true);
            // "SET LPARM:PCL KEY=..." names the personality before the key.
            if (key.size > 6 && std::string_view(key.text, 6) == "LPARM:") key = ReadToken(job, k, end, true);
            while (k < end && IsBlank(job[k])) ++k;
            if (k < end && job[k] == '=') {
                ++k;
                ApplySetting(key, ReadToken(job, k, end, false), h);
            }
        } else if (command.is("ENTER")) {
            const Token word = ReadToken(job, k, end, true);
            while (k < end && (IsBlank(job[k]) || job[k] == '=')) ++k;
            if (word.is("LANGUAGE")) {
                const Token language = ReadToken(job, k, end, false);
                for (uint32_t c = 0; c < language.size && c + 1 < sizeof h.language; ++c) h.language[c] = language.text[c];
                h.entered = true;
                h.body = end < job.size ? end + 1 : end;
                return h;
            }
        }
        i = end < job.size ? end + 1 : end;
    }
    h.body = i;
    return h;
}

}  // namespace qm::accurate
