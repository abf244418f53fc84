// XQX: jobs written in a small record language (cases/xqx.tsv) and counted,
// page by page; the bid over the same jobs and over their cuts.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "gdi/xqx.h"
#include "gdi_testutil.h"

namespace {

using qm::Bytes;

void Be32(std::string& s, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) s += char((v >> shift) & 0xFF);
}

uint32_t ItemType(const std::string& key) {
    if (key == "duplex") return 0x10000002;
    if (key == "paper") return 0x20000001;
    if (key == "copies") return 0x20000005;
    if (key == "pause") return 0x20000012;
    return uint32_t(std::stoul(key, nullptr, 0));
}

// A record with its items: "page:copies=2,paper=9" (values 32-bit).
void Items(std::string& s, uint32_t type, const std::string& list) {
    std::string items;
    uint32_t n = 0;
    std::stringstream in(list);
    for (std::string kv; std::getline(in, kv, ',');) {
        if (kv.empty()) continue;
        const size_t eq = kv.find('=');
        Be32(items, ItemType(kv.substr(0, eq)));
        Be32(items, 4);
        Be32(items, uint32_t(std::stoul(kv.substr(eq + 1), nullptr, 0)));
        ++n;
    }
    Be32(s, type);
    Be32(s, n);
    s += items;
}

// The record language of cases/xqx.tsv, one token a record:
//   pjl            foo2xqx's PJL header (its last line ends with a NUL and the UEL)
//   sig            ",XQX"
//   doc:ITEMS      document start; page:ITEMS page start; page2:ITEMS a page
//                  start written with type 2, as the manual duplex pass leaves one
//   plane          a plane's first start (with its 20-byte BIH item)
//   chunk          a plane's further start (no BIH)
//   jbig:N         JBIG data of N bytes, which read as page-end records
//   endplane endpage enddoc
//   rec:T,C        a bare record header of type T and count C
//   raw:TEXT       bytes (C escapes)
std::string Build(const std::string& program, const std::string& where) {
    std::string s;
    std::stringstream in(program);
    for (std::string tok; in >> tok;) {
        const size_t colon = tok.find(':');
        const std::string op = tok.substr(0, colon), arg = colon == std::string::npos ? "" : tok.substr(colon + 1);
        if (op == "pjl") {
            s += "\x1b%-12345X@PJL JOB\n@PJL SET DENSITY=3\n@PJL USTATUS TIMED = 30\n@PJL SET JOBATTR=\"x\"";
            s += '\0';
            s += "\x1b%-12345X";
        } else if (op == "sig") {
            s += ",XQX";
        } else if (op == "doc" || op == "page" || op == "page2") {
            Items(s, op == "doc" ? 1 : op == "page" ? 3 : 2, arg);
        } else if (op == "plane") {
            Be32(s, 5), Be32(s, 2), Be32(s, 0x40000002), Be32(s, 20);
            s += std::string(20, '\x01');
            Be32(s, 0x80000001), Be32(s, 4), Be32(s, 0xDEADBEEF);
        } else if (op == "chunk") {
            Items(s, 5, "0x40000003=1,0x80000001=0xdeadbeef");
        } else if (op == "jbig") {
            const uint32_t n = uint32_t(std::stoul(arg));
            Be32(s, 7), Be32(s, n);
            for (uint32_t i = 0; i < n; ++i) s += char(i % 8 == 3 ? 4 : 0);  // reads as page ends
        } else if (op == "endplane" || op == "endpage" || op == "enddoc") {
            Be32(s, op == "endplane" ? 6 : op == "endpage" ? 4 : 2), Be32(s, 0);
        } else if (op == "rec") {
            const size_t comma = arg.find(',');
            Be32(s, uint32_t(std::stoul(arg.substr(0, comma), nullptr, 0)));
            Be32(s, uint32_t(std::stoul(arg.substr(comma + 1), nullptr, 0)));
        } else if (op == "raw") {
            s += qmtest::Unescape(arg, where);
        } else {
            ADD_FAILURE() << where << ": unknown token " << tok;
        }
    }
    return s;
}

std::string Job(const qmtest::CaseRow& c) { return Build(c.text("stream"), c.where); }

TEST(Xqx, RecordWalk) { qmtest::gdi::ExpectPageCases(&qm::accurate::AccurateXQX, "gdi/cases/xqx.tsv", &Job); }

TEST(Xqx, Bid) { qmtest::ExpectBidLevels("gdi/cases/xqx_bids.tsv", &Job); }

}  // namespace
