// Kodak ESP / Hero: hand-made jobs (inkjet/cases/kodak.tsv) counted page by
// page, each page's colour from its planes or its deflated rows; the bid
// (kodak_bids.tsv).
#include <gtest/gtest.h>

#include <string>

#include <zlib.h>

#include "gdi/gdi_testutil.h"

namespace {

std::string Job(const qmtest::CaseRow& c) {
    return (c.text("header") == "no" ? "" : "LockPrinterWait?Event=StartOfJob;") + c.bytes("job");
}

TEST(Kodak, ItemWalk) { qmtest::gdi::ExpectPageCases(&qm::accurate::AccurateKodakESP, "inkjet/cases/kodak.tsv", &Job); }

// Deflated zeros: whole flushed blocks of 1 MiB, the first with the stream's
// header, the same block after it `more` times.
std::string DeflatedZeros(unsigned more) {
    const std::string zeros(1u << 20, '\0');
    z_stream z{};
    EXPECT_EQ(deflateInit(&z, Z_BEST_SPEED), Z_OK);
    std::string blocks[2];
    for (std::string& out : blocks) {
        out.resize(deflateBound(&z, zeros.size()));
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
        z.avail_in = uInt(zeros.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = uInt(out.size());
        EXPECT_EQ(deflate(&z, Z_FULL_FLUSH), Z_OK);
        out.resize(out.size() - z.avail_out);
    }
    deflateEnd(&z);
    std::string s = blocks[0];
    for (unsigned i = 0; i < more; ++i) s += blocks[1];
    return s;
}

// The inflate budget is the job's: a page whose rows are refused stops
// inflating there, and leaves the budget to the pages after it.
TEST(Kodak, RefusedRowsSpendNoMoreOfTheBudget) {
    const std::string refused = DeflatedZeros(1024);  // 1025 MiB, more than the budget
    const std::string page = "Event=StartOfPage;RasterObject.Colorspace=sRGB;RasterObject.Compression=GZIPTok;"
                             "RasterObject.Width=1;RasterObject.Height=1;RasterObject.Data#";
    const std::string job = "LockPrinterWait?Event=StartOfJob;" + page + std::to_string(refused.size()) + "=" +
                            refused + ";Event=EndOfPage;" + page +
                            qmtest::Lit("15=\x78\x9c\x63\x64\x60\x60\x68\x68\x68\x00\x00\x03\x0e\x01\x82;") +
                            "Event=EndOfPage;Event=EndOfJob;";
    const qmtest::Guarded guarded(job);
    qm::accurate::Result r;
    ASSERT_EQ(qm::accurate::AccurateKodakESP(guarded.bytes(), r), QM_OK);
    EXPECT_EQ(qmtest::gdi::PageLetters(r), "?M");
}

TEST(Kodak, Bid) {
    qmtest::ExpectBidLevels("inkjet/cases/kodak_bids.tsv", [](const qmtest::CaseRow& c) { return c.bytes("job"); });
}

}  // namespace
