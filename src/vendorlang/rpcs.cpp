// Ricoh RPCS: pages are two byte patterns that follow a "%"; copies, duplex,
// paper and colour come from the job's own PJL header lines.
#include <cstring>

#include "api/scanners.h"
#include "jobfile/diag.h"
#include "pcl/leadbytes.h"
#include "vendorlang/text.h"

namespace qm {
namespace {

struct RpcsPaper {
    char name[11];  // compared over all 11 bytes, zero-padded
    double width;
    double length;
};

constexpr RpcsPaper kRpcsPapers[] = {
    {"EXECUTIVE", 7.25, 10.5}, {"LETTER", 8.5, 11.0},   {"LEGAL", 8.5, 14.0},      {"LEDGER", 17.0, 11.0},
    {"A5", 5.83, 8.27},        {"A4", 8.27, 11.69},     {"A3", 11.69, 16.54},      {"JISB5", 7.17, 10.12},
    {"JISB4", 9.84, 13.94},    {"MONARCH", 3.875, 7.5}, {"COM10", 4.125, 9.5},     {"DL", 4.33, 8.66},
    {"C5", 6.38, 9.02},        {"A6", 4.13, 5.83},      {"HALFLETTER", 8.5, 5.5}, {"JPOST", 3.94, 5.83},
};

enum class Key { Copies, Duplex, Paper, DataMode, Other };

struct RpcsKey {
    const char* text;
    uint32_t length;     // bytes compared
    uint32_t threshold;  // more than this many bytes must remain from the "@"
    Key key;
};

// Tried in this order; the first match is handled.
constexpr RpcsKey kRpcsKeys[] = {
    {"@PJL SET COPIES", 15, 15, Key::Copies},
    {"@PJL SET DUPLEX", 15, 15, Key::Duplex},
    {"@PJL SET PAPER ", 15, 14, Key::Paper},
    {"@PJL SET DATAMODE", 17, 17, Key::DataMode},
    {"@PJL", 4, 4, Key::Other},
};

constexpr uint32_t kValueMax = 32;  // bytes a value may take, its line feed excluded

// A value on a PJL line: up to 32 bytes before the line feed or the end.
struct Value {
    uint32_t start;
    uint32_t length;
    bool endsAtLineFeed;  // a line feed follows within 31 bytes
};

Value TakeValue(const Bytes& job, uint32_t start) {
    const uint32_t limit = job.left(start) < kValueMax ? job.left(start) : kValueMax;
    uint32_t k = 0;
    while (k < limit && job[start + k] != '\n') ++k;
    return {start, k, k < kValueMax && job.at(start + k) == '\n'};
}

bool ValueBegins(const Bytes& job, const Value& v, const char* lit) {
    const uint32_t n = static_cast<uint32_t>(std::strlen(lit));
    return v.length >= n && job.matches(v.start, std::string_view(lit, n));
}

// A page mark is "%" and a NUL, every PJL line opens "@P": other "%" and "@"
// bytes start nothing.
constexpr LeadSet<0, 2> kRpcsStarts{{}, {Pair('%', "\0"), Pair('@', "P")}};

// nextLead(job, i) gives the next byte at or after i that may start something.
template <class NextLead>
int32_t ScanRpcsWith(Bytes job, uint32_t start, PageCountResult& rec, NextLead nextLead) {
    uint32_t pages = 0;
    int32_t copies = 0;
    uint8_t colour = 0, duplex = 0;
    char paper[kValueMax] = {};

    for (uint32_t i = nextLead(job, start); i < job.size; i = nextLead(job, i + 1)) {
        if (job[i] == '%') {
            if (job.left(i) > 5) {
                if (job[i + 1] == 0 && job[i + 2] == 0 && job[i + 3] == 0 && job[i + 5] == '#') ++pages;
                if (job[i + 1] == 0 && job[i + 2] == 0x03 && job[i + 3] == '#') ++pages;
            }
            continue;  // no PJL command starts with "%"
        }

        const RpcsKey* hit = nullptr;
        for (const RpcsKey& k : kRpcsKeys) {
            if (job.left(i) > k.threshold && job.matches(i, std::string_view(k.text, k.length))) {
                hit = &k;
                break;
            }
        }
        if (hit == nullptr) continue;
        if (hit->key == Key::Other) {
            i = job.find(i, '\n');  // the line feed ends the line
            if (i >= job.size) break;
            continue;
        }

        // Past the command text and any run of blanks and "=" signs.
        uint32_t j = i + hit->length;
        while (j < job.size && (job[j] == ' ' || job[j] == '=')) ++j;
        const Value v = TakeValue(job, j);
        i = j;  // where the scan goes on when the value is not taken
        switch (hit->key) {
            case Key::Copies:
                if (v.endsAtLineFeed) {
                    copies = AtoiIn(job, v.start, v.start + v.length);
                    Debug("sheetler.dll!GetTotalPageCount_RPCS: %X found COPIES command %d!\n", v.start, copies);
                    i += v.length;
                }
                break;
            case Key::Duplex:
                if (ValueBegins(job, v, "ON")) {
                    duplex = 1;
                    Debug("sheetler.dll!GetTotalPageCount_RPCS: %X Duplex print!\n", v.start);
                    i += v.length;
                }
                break;
            case Key::Paper:
                if (v.endsAtLineFeed) {
                    // The name drops the value's last byte, the CR of a CR LF
                    // line end; an empty value leaves an empty name.
                    std::memset(paper, 0, sizeof paper);
                    if (v.length > 0) std::memcpy(paper, job.data + v.start, v.length - 1);
                    Debug("sheetler.dll!GetTotalPageCount_RPCS: %X PaperType %s!\n", v.start, paper);
                    i += v.length;
                }
                break;
            case Key::DataMode:
                if (ValueBegins(job, v, "COLO")) {
                    colour = 1;
                    Debug("sheetler.dll!GetTotalPageCount_RPCS: %X Color print!\n", v.start);
                    i += v.length;
                }
                break;
            case Key::Other:
                break;
        }
        if (i >= job.size) break;
    }

    for (const RpcsPaper& p : kRpcsPapers) {
        if (std::memcmp(paper, p.name, sizeof p.name) == 0) {
            rec.paperWidth = p.width;
            rec.paperLength = p.length;
            break;
        }
    }
    rec.pages = pages;
    rec.copies = static_cast<uint32_t>(copies);
    rec.color = colour;
    rec.duplex = duplex;
    return QM_OK;
}

}  // namespace

int32_t ScanRPCS(Bytes job, uint32_t start, PageCountResult& rec) {
    return ScanRpcsWith(job, start, rec, [](const Bytes& j, uint32_t from) { return FindLead(j, from, kRpcsStarts); });
}

// Every byte looked at, as the lead search must agree with.
int32_t ScanRPCSEveryByte(Bytes job, uint32_t start, PageCountResult& rec) {
    return ScanRpcsWith(job, start, rec, [](const Bytes&, uint32_t from) { return from; });
}

}  // namespace qm
