// Minolta's GDI block stream (PageProGDI for min12xxw, M2300W for m2300w)
// and OPL (foo2lava -z1): jobs of the case files counted page by page, and
// their bids.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "gdi/minolta.h"
#include "gdi_testutil.h"

namespace {

uint8_t Hex(const std::string& s, size_t i) { return uint8_t(std::stoul(s.substr(i, 2), nullptr, 16)); }

// A job of the block cases: blocks written TT:DATA in hex, their sequence
// number, length, complement and checksum filled in ("!" after the data
// spoils the checksum, "+N" appends N bytes of raster data); "~HEX" is raw
// bytes. `cut` drops that many bytes from the end.
std::string BlockJob(const qmtest::CaseRow& c) {
    std::string job;
    uint8_t seq = 0;
    std::istringstream tokens(c.text("job"));
    for (std::string t; tokens >> t;) {
        if (t[0] == '~') {
            for (size_t i = 1; i + 1 < t.size(); i += 2) job += char(Hex(t, i));
            continue;
        }
        const size_t plus = t.find('+'), end = std::min(t.find_first_of("!+"), t.size());
        std::string block = {'\x1b', char(Hex(t, 0)), char(seq++), 0, 0, char(~Hex(t, 0))};
        for (size_t i = 3; i + 1 < end; i += 2) block += char(Hex(t, i));
        block[3] = char((block.size() - 6) & 0xFF);
        block[4] = char((block.size() - 6) >> 8);
        uint8_t sum = 0;
        for (char b : block) sum = uint8_t(sum + uint8_t(b));
        block += char(t.find('!') != std::string::npos ? sum + 1 : sum);
        if (plus != std::string::npos) block.append(std::stoul(t.substr(plus + 1)), '\0');
        job += block;
    }
    return job.substr(0, job.size() - std::min<size_t>(job.size(), size_t(c.num("cut", 0))));
}

std::string OplJob(const qmtest::CaseRow& c) { return c.bytes("job"); }

TEST(Minolta, PageProWalk) {
    qmtest::gdi::ExpectPageCases(&qm::accurate::AccuratePageProGDI, "gdi/cases/pagepro.tsv", &BlockJob);
}

TEST(Minolta, M2300wWalk) { qmtest::gdi::ExpectPageCases(&qm::accurate::AccurateM2300W, "gdi/cases/m2300w.tsv", &BlockJob); }

TEST(Minolta, Bid) { qmtest::ExpectBidLevels("gdi/cases/minolta_bids.tsv", &BlockJob); }

TEST(Opl, ItemWalk) { qmtest::gdi::ExpectPageCases(&qm::accurate::AccurateOPL, "gdi/cases/opl.tsv", &OplJob); }

TEST(Opl, Bid) { qmtest::ExpectBidLevels("gdi/cases/opl_bids.tsv", &OplJob); }

}  // namespace
