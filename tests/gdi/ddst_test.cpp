// DDST: jobs of cases/ddst.tsv (foo2ddst's job header, then the row's
// lines) counted page by page, and the bid.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "gdi/ddst.h"
#include "gdi_testutil.h"

namespace {

const std::string kHeader =
    "\x1b%-12345X@PJL\r\n@PJL SET TIMESTAMP=2026/01/01 12:00:00\r\n@PJL SET FILENAME=stdin\r\n"
    "@PJL SET COMPRESS=JBIG\r\n@PJL SET USERNAME=root\r\n@PJL SET COVER=OFF\r\n";

// A plane's JBIG header: one plane, 5100 x 6600 dots, 128 lines a stripe.
const std::string kBih("\0\0\x01\0\0\0\x13\xec\0\0\x19\xc8\0\0\0\x80\0\0\x03\x48", 20);

// Rows write <S> and <E> for a page's start and end lines, <BIH> for the
// plane's JBIG header (20 bytes) and <EOJ> for the job's end.
std::string Job(const qmtest::CaseRow& c) {
    static const std::pair<std::string, std::string> kShort[] = {
        {"<S>", "@PJL SET PAGESTATUS=START\r\n"},
        {"<E>", "@PJL SET DOTCOUNT=12345\r\n@PJL SET PAGESTATUS=END\r\n"},
        {"<BIH>", kBih},
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

// Copies that differ between pages count every side printed: up to 2^32 - 1
// in all, and a job that prints more is not understood rather than capped.
TEST(Ddst, SidesPrintedUpToTheLargestCount) {
    const std::string page =
        "@PJL SET PAGESTATUS=START\r\n@PJL SET IMAGELEN=20\r\n" + kBih + "@PJL SET PAGESTATUS=END\r\n";
    constexpr uint32_t kCopies = 9999, kPages = 429539;  // 1 + 9999 x 429539 = 2^32 - 6834 sides
    std::string job = kHeader + "@PJL SET COPIES=1\r\n" + page + "@PJL SET COPIES=9999\r\n";
    job.reserve(job.size() + (kPages + 1) * page.size());
    for (uint32_t i = 0; i < kPages; ++i) job += page;
    qm::accurate::Result r;
    ASSERT_EQ(qm::accurate::AccurateDDST(qm::Bytes(job), r), QM_OK);
    EXPECT_EQ(r.rec.pages, 1u + kCopies * kPages);
    job += page;  // 9999 more sides pass 2^32 - 1
    qm::accurate::Result over;
    EXPECT_EQ(qm::accurate::AccurateDDST(qm::Bytes(job), over), QM_E_NOT_UNDERSTOOD);
}

}  // namespace
