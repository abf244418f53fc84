// DDST: jobs of cases/ddst.tsv (foo2ddst's job header, then the row's
// lines) counted page by page, and the bid.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "gdi/ddst.h"
#include "gdi_testutil.h"

namespace {

const std::string kHeader =
    "\x1b%-12345X@PJL\r\n@PJL SET TIMESTAMP=2026/01/01 12:00:00\r\n@PJL SET FILENAME=stdin\r\n"
    "@PJL SET COMPRESS=JBIG\r\n@PJL SET USERNAME=root\r\n@PJL SET COVER=OFF\r\n";

// Rows write <S> and <E> for a page's start and end lines, <BIH> for the
// plane's JBIG header (20 bytes) and <EOJ> for the job's end.
std::string Job(const qmtest::CaseRow& c) {
    static const std::pair<std::string, std::string> kShort[] = {
        {"<S>", "@PJL SET PAGESTATUS=START\r\n"},
        {"<E>", "@PJL SET DOTCOUNT=12345\r\n@PJL SET PAGESTATUS=END\r\n"},
        {"<BIH>", std::string("\0\0\x01\0\0\0\x13\xec\0\0\x19\xc8\0\0\0\x80\0\0\x03\x48", 20)},
        {"<EOJ>", "@PJL EOJ\r\n\x1b%-12345X\r\n"},
    };
    std::string job = c.bytes("job");
    for (const auto& [key, text] : kShort) {
        for (size_t at = job.find(key); at != std::string::npos; at = job.find(key, at + text.size())) {
            job.replace(at, key.size(), text);
        }
    }
    const std::string header = c.text("header");
    if (header == "no") return job;
    // A header entering the language the column names.
    return (header.empty() ? kHeader : "\x1b%-12345X@PJL ENTER LANGUAGE=" + header + "\r\n") + job;
}

TEST(Ddst, LineWalk) { qmtest::gdi::ExpectPageCases(&qm::accurate::AccurateDDST, "gdi/cases/ddst.tsv", &Job); }

TEST(Ddst, Bid) { qmtest::ExpectBidLevels("gdi/cases/ddst_bids.tsv", &Job); }

}  // namespace
