// Kodak ESP / Hero: hand-made jobs (inkjet/cases/kodak.tsv) counted page by
// page, each page's colour from its planes or its deflated rows; the bid
// (kodak_bids.tsv).
#include <gtest/gtest.h>

#include <string>

#include <zlib.h>

#include "gdi/gdi_testutil.h"
#include "testdeflate.h"

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

// `page` `n` times over, then `last`: built in place, as these jobs are large.
std::string Pages(const std::string& page, size_t n, const std::string& last) {
    std::string pages;
    pages.reserve(n * page.size() + last.size());
    for (size_t i = 0; i < n; ++i) pages += page;
    return pages += last;
}

// A page of sRGB rows, `deflated` their block.
std::string RowsPage(const std::string& deflated, uint32_t width = 1) {
    return "Event=StartOfPage;RasterObject.Colorspace=sRGB;RasterObject.Compression=GZIPTok;RasterObject.Width=" +
           std::to_string(width) + ";RasterObject.Height=1;RasterObject.Data#" + std::to_string(deflated.size()) +
           "=" + deflated + ";Event=EndOfPage;";
}

// A grey page, one pixel wide.
std::string GreyPage() { return RowsPage(qmtest::Lit("\x78\x9c\x63\x64\x60\x60\x68\x68\x68\x00\x00\x03\x0e\x01\x82")); }

// Each page's colour letter in a job of these pages.
std::string PageLettersOf(const std::string& pages) {
    const qmtest::Guarded guarded("LockPrinterWait?Event=StartOfJob;" + pages + "Event=EndOfJob;");
    qm::accurate::Result r;
    EXPECT_EQ(qm::accurate::AccurateKodakESP(guarded.bytes(), r), QM_OK);
    return qmtest::gdi::PageLetters(r);
}

// The inflate budget is the job's: a page whose rows are refused stops
// inflating there, and leaves the budget to the pages after it.
TEST(Kodak, RefusedRowsSpendNoMoreOfTheBudget) {
    EXPECT_EQ(PageLettersOf(RowsPage(DeflatedZeros(1024)) + GreyPage()), "?M");  // 1025 MiB, more than the budget
}

// Rows that are read spend it too: the page that inflates past it, and every
// page after, is of unknown colour.
TEST(Kodak, ReadRowsSpendTheBudget) {
    // A row of 65535 pixels whose first is colour: the page ends colour there.
    std::string row(4 + 3 * 65535, '\0');
    row[0] = row[1] = row[4] = '\xFF';
    const std::string page = RowsPage(qmtest::Deflate(row), 65535);
    const size_t within = (size_t{1} << 30) / row.size();
    EXPECT_EQ(PageLettersOf(Pages(page, within + 1, GreyPage())), std::string(within, 'C') + "??");
}

// Rows that spend the budget to its last byte are read whole; the page after
// them has none left. 2^14 grey pages of one row of 65536 bytes each.
TEST(Kodak, RowsThatSpendTheWholeBudgetAreRead) {
    std::string row(4 + 3 * 21844, '\x80');  // 21844 pixels, not blank
    row[0] = '\x54', row[1] = '\x55', row[2] = row[3] = '\0';
    const std::string page = RowsPage(qmtest::Deflate(row), 21844);
    constexpr size_t kPages = size_t{1} << 14;
    EXPECT_EQ(PageLettersOf(Pages(page, kPages, GreyPage())), std::string(kPages, 'M') + "?");
}

TEST(Kodak, Bid) {
    qmtest::ExpectBidLevels("inkjet/cases/kodak_bids.tsv", [](const qmtest::CaseRow& c) { return c.bytes("job"); });
}

}  // namespace
