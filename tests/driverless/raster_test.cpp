// The driverless rasters: each colour space's neutral rule through both row
// encodings, the fields of every header kind in both byte orders, the walk
// of run-coded rows to the page's end, bounds on what a header claims, the
// bids, and PCLm told from the PDF it also is.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "accurate_testutil.h"
#include "casefile.h"
#include "driverless/raster_accurate.h"
#include "driverless/raster_jobs.h"

namespace {

using qm::Bytes;
using qm::accurate::Result;
using namespace qmtest::raster;

uint32_t ColoursOf(uint32_t space) {
    switch (space) {
        case 0: case 3: case 18: return 1;
        case 2: case 6: case 7: case 8: case 9: return 4;
        default: return 3;  // RGB, CMY, CIELab, sRGB, AdobeRGB, ICC2, DEVICE3
    }
}

int32_t Count(const std::string& job, Result& r) {
    const int32_t code = qm::driverless::CountRaster(Bytes(job), 0, r, qm::driverless::Pixels::Read);
    if (code == QM_OK) qm::accurate::Finish(r);
    return code;
}

// Page colours of a counted job as letters: M, C, ? (unknown).
std::string Colours(const Result& r) {
    std::string s;
    for (const auto& run : r.pages.Runs())
        s.append(run.count, run.page.color == QM_PAGE_MONO ? 'M' : run.page.color == QM_PAGE_COLOR ? 'C' : '?');
    return s;
}

TEST(Raster, NeutralRuleOfEachColourSpace) {
    for (const qmtest::CaseRow& c : qmtest::ReadCases("driverless/cases/neutral.tsv")) {
        Header h;
        h.space = uint32_t(c.num("space"));
        h.bits = uint32_t(c.num("bits"));
        h.order = uint32_t(c.num("order"));
        h.colours = ColoursOf(h.space);
        const std::string unit = c.bytes("pixel");
        // Sixteen units a line: the width they make at this depth.
        const uint32_t bitsPerUnit = h.order == 0 ? 8 * uint32_t(unit.size()) : 8;
        h.width = 16 * bitsPerUnit / (h.order == 0 ? h.BitsPerPixel() : h.bits);
        for (const bool big : {true, false}) {
            Result plain, coded;
            ASSERT_EQ(Count(Sync('3', big) + CupsHeader(h, '3', big) + PlainRows(h.Rows(), h.Line(), unit), plain),
                      QM_OK)
                << c.name();
            EXPECT_EQ(Colours(plain), std::string(1, c.text("colour")[0])) << c.name() << (big ? " big" : " little");
            ASSERT_EQ(Count(Sync('2', big) + CupsHeader(h, '2', big) + CodedRows(h.Rows(), h.Line(), unit), coded),
                      QM_OK)
                << c.name();
            EXPECT_EQ(Colours(coded), std::string(1, c.text("coded")[0])) << c.name() << (big ? " big" : " little");
            EXPECT_FALSE(coded.estimated) << c.name() << ": the coded rows end where the page does";
        }
    }
}

// Every kind's header fields: pages, copies, duplex, paper; the first page's
// copies and paper are the job's, each page keeps its own paper.
TEST(Raster, ReadsTheHeadersOfEveryKind) {
    Header a4;
    a4.pageWidth = 595, a4.pageLength = 842, a4.copies = 3, a4.duplex = 1;
    Header a3 = a4;
    a3.pageWidth = 842, a3.pageLength = 1191;
    const std::string grey(1, '\x40');
    for (const bool big : {true, false}) {
        for (const char version : {'t', '2', '3'}) {
            std::string job = Sync(version, big);
            for (const Header& h : {a4, a3, a4}) {
                job += CupsHeader(h, version, big);
                job += version == '2' ? CodedRows(h.Rows(), h.Line(), grey) : PlainRows(h.Rows(), h.Line(), grey);
            }
            Result r;
            ASSERT_EQ(Count(job, r), QM_OK) << version << big;
            EXPECT_EQ(r.rec.pages, 3u) << version << big;
            EXPECT_EQ(r.rec.copies, 3u) << version << big;
            EXPECT_EQ(r.rec.duplex, 1) << version << big;
            EXPECT_NEAR(r.rec.paperWidth, 595 / 72.0, 1e-9) << version << big;
            ASSERT_EQ(r.pages.Runs().size(), 3u) << version << big;
            EXPECT_NEAR(r.pages.Runs()[1].page.paperLength, 1191 / 72.0, 1e-9) << version << big;
            EXPECT_EQ(Colours(r), "MMM");
            EXPECT_FALSE(r.estimated);
        }
    }
    // No copy count (0): one copy, and copies unknown.
    Header none;
    none.copies = 0;
    Result r;
    ASSERT_EQ(Count(Sync('3', true) + CupsHeader(none, '3', true) + PlainRows(2, 16, grey), r), QM_OK);
    EXPECT_EQ(r.rec.copies, 1u);
    EXPECT_TRUE(r.unknown & QM_FIELD_COPIES);
}

TEST(Raster, TellsPwgFromCupsVersion2) {
    Header h;
    h.pwg = true;
    const std::string page = CupsHeader(h, '2', true) + CodedRows(2, 16, "\x10");
    const std::string pwg = Sync('2', true) + page;
    EXPECT_EQ(qm::driverless::ReadSignature(Bytes(pwg)).kind, qm::driverless::RasterKind::Pwg);
    h.pwg = false;
    const std::string cups = Sync('2', true) + CupsHeader(h, '2', true) + CodedRows(2, 16, "\x10");
    EXPECT_EQ(qm::driverless::ReadSignature(Bytes(cups)).kind, qm::driverless::RasterKind::CupsV2);
    // Too short to say which: neither.
    EXPECT_EQ(qm::driverless::ReadSignature(Bytes(pwg.substr(0, 12))).kind, qm::driverless::RasterKind::None);
    EXPECT_EQ(qm::driverless::ReadSignature(Bytes(pwg.substr(0, 14))).kind, qm::driverless::RasterKind::Pwg);
}

// Apple Raster: no copy count; duplex codes; paper from dots and resolution,
// A4 rounded down to whole dots at 10 dpi taken as A4.
TEST(Raster, ReadsAppleRaster) {
    std::string job = UrfFile(2);
    job += UrfHeader(24, 1, 2, 82, 116, 10) + CodedRows(116, 82 * 3, "\x20\x20\x20");
    job += UrfHeader(24, 1, 3, 82, 116, 10) + CodedRows(116, 82 * 3, "\x20\x90\x20");
    Result r;
    ASSERT_EQ(Count(job, r), QM_OK);
    EXPECT_EQ(r.rec.pages, 2u);
    EXPECT_EQ(r.rec.duplex, 1);
    EXPECT_TRUE(r.unknown & QM_FIELD_COPIES);
    EXPECT_DOUBLE_EQ(r.rec.paperWidth, 8.27);
    EXPECT_DOUBLE_EQ(r.rec.paperLength, 11.69);
    EXPECT_EQ(Colours(r), "MC");
}

TEST(Raster, AppleRasterCases) { qmtest::ExpectAccurateCases(qm::accurate::AccurateURF, "driverless/cases/urf.tsv"); }

// The run coding, step by step: a page's end found exactly, so the next
// page's header is read where it stands.
TEST(Raster, WalksCodedRowsToThePageEnd) {
    Header h;  // 16 grey pixels a line, 2 lines
    const std::string head = Sync('2', true) + CupsHeader(h, '2', true);
    const std::string next = CupsHeader(h, '2', true) + CodedRows(2, 16, std::string(1, '\0'));
    const struct {
        const char* name;
        std::string rows;
    } cases[] = {
        {"two line records", std::string("\x00\x0F\x01\x00\x0F\x02", 6)},
        {"one record repeated", std::string("\x01\x0F\x01", 3)},
        {"clear to the end of the line", std::string("\x01\x80", 2)},
        {"literal run of the whole line", std::string("\x01\xF1", 2) + std::string(16, '\x05')},
        {"repeat longer than the line is cut at its end", std::string("\x01\x7F\x05", 3)},
        {"literal longer than the line is cut at its end", std::string("\x01\x81", 2) + std::string(16, '\x05')},
        {"a line repeated past the page's rows", std::string("\x05\x0F\x01", 3)},
    };
    for (const auto& c : cases) {
        Result r;
        ASSERT_EQ(Count(head + c.rows + next, r), QM_OK) << c.name;
        EXPECT_EQ(r.rec.pages, 2u) << c.name;
        EXPECT_FALSE(r.estimated) << c.name;
    }
}

// One page of the header a row states (version t, 2 or 3; the other
// columns name Header's fields) and the rows after it, big-endian; the
// record as ExpectAccurateCases reads it.
TEST(Raster, HeaderCases) {
    for (const qmtest::CaseRow& c : qmtest::ReadCases("driverless/cases/headers.tsv")) {
        Header h;
        const auto u = [&](const char* col, uint32_t otherwise) { return uint32_t(c.num(col, otherwise)); };
        h.space = u("space", h.space), h.colours = u("colours", h.colours), h.bits = u("bits", h.bits);
        h.width = u("w", h.width), h.height = u("h", h.height), h.resolution = u("res", h.resolution);
        h.pageWidth = u("pageWidth", h.pageWidth), h.pageLength = u("pageLength", h.pageLength);
        h.exactWidth = float(c.num("exactWidth")), h.exactLength = float(c.num("exactLength"));
        h.copies = u("copies", 1), h.duplex = u("duplex", 0), h.bitsPerPixel = u("bpp", 0);
        h.order = u("order", 0);
        const char version = c.text("version")[0];
        qmtest::ExpectAccurate(qm::accurate::AccurateCUPSRaster,
                               {c.name().c_str(), Sync(version, true) + CupsHeader(h, version, true) + c.bytes("rows"),
                                qmtest::AccurateWantOf(c)});
    }
}

// Jobs that end early or carry bytes after their pages are counted as far as
// they go, and marked estimated; a colour page cut short is unknown unless
// its colour was already seen.
TEST(Raster, CountsCutJobsAsFarAsTheyGo) {
    Header rgb;
    rgb.space = 19, rgb.colours = 3;
    const std::string grey = Sync('2', true) + CupsHeader(rgb, '2', true) + CodedRows(2, 48, "\x40\x40\x40");
    // Two pixels, red and grey, of a line of sixteen.
    const std::string red = Sync('2', true) + CupsHeader(rgb, '2', true) + std::string("\x01\xFF\xFF\x00\x00\x40\x40\x40", 8);
    const struct {
        const char* name;
        std::string job;
        uint32_t pages;
        const char* colours;
    } cases[] = {
        {"rows cut", grey.substr(0, grey.size() - 1), 1, "?"},
        {"colour seen before the cut", red, 1, "C"},
        {"a header cut after a page", grey + grey.substr(4, 100), 1, "M"},
        {"junk after a page", grey + std::string(2000, '\x07'), 1, "M"},
    };
    for (const auto& c : cases) {
        Result r;
        ASSERT_EQ(Count(c.job, r), QM_OK) << c.name;
        EXPECT_EQ(r.rec.pages, c.pages) << c.name;
        EXPECT_TRUE(r.estimated) << c.name;
        EXPECT_EQ(Colours(r), c.colours) << c.name;
    }
}

// Headers a printer would refuse are no page: the job is not understood.
TEST(Raster, RefusesHeadersNoPrinterTakes) {
    const auto job = [](Header h) {
        // Version 1 has no colour count: it comes from the colour space.
        const char version = h.space == 99 ? 't' : '3';
        return Sync(version, true) + CupsHeader(h, version, true) + std::string(64, '\0');
    };
    const struct {
        const char* name;
        uint32_t Header::*field;
        uint32_t value;
    } bad[] = {
        {"three bits a colour", &Header::bits, 3},
        {"line length not the width's", &Header::bytesPerLine, 17},
        {"no width", &Header::width, 0},
        {"height past the limit", &Header::height, 0x01000000},
        {"width past the limit, its line 16 MiB", &Header::width, 0x01000000},
        {"line past 16 MiB", &Header::width, 17 * 1024 * 1024},
        {"no such colour order", &Header::order, 3},
        {"no such colour space in version 1", &Header::space, 99},
    };
    for (const auto& c : bad) {
        Header header;
        header.*c.field = c.value;
        Result r;
        EXPECT_EQ(Count(job(header), r), QM_E_NOT_UNDERSTOOD) << c.name;
    }
    // Each language counts its own kind only: a URF job forced as PWG is not
    // understood; PWG, a CUPS Raster 2 profile, counts as CUPS Raster too.
    Header pwg;
    pwg.pwg = true;
    const std::string pwgJob = Sync('2', true) + CupsHeader(pwg, '2', true) + CodedRows(2, 16, "\x01");
    const std::string urfJob = UrfFile(1) + UrfHeader(8, 0, 1, 16, 2, 72) + CodedRows(2, 16, "\x01");
    Result r;
    EXPECT_EQ(qm::accurate::AccuratePWGRaster(Bytes(urfJob), r), QM_E_NOT_UNDERSTOOD);
    EXPECT_EQ(qm::accurate::AccurateURF(Bytes(pwgJob), r), QM_E_NOT_UNDERSTOOD);
    EXPECT_EQ(qm::accurate::AccurateCUPSRaster(Bytes(urfJob), r), QM_E_NOT_UNDERSTOOD);
    EXPECT_EQ(qm::accurate::AccurateCUPSRaster(Bytes(pwgJob), r), QM_OK);
}

// A header may claim rows by the gigabyte: the walk neither allocates for
// them nor loops past the data, and the count is immediate.
TEST(Raster, ClaimsOfHugePagesCostNothing) {
    Header h;
    constexpr uint32_t kRuns = 43690;  // runs of 128 pixels a line: lines of 16 MiB
    h.space = 19, h.colours = 3, h.width = 128 * kRuns, h.height = 0x00FFFFFF;
    const std::string plain = Sync('3', true) + CupsHeader(h, '3', true) + std::string(1 << 20, '\x40');
    std::string coded = Sync('2', true) + CupsHeader(h, '2', true);
    for (int line = 0; line < 12; ++line) {
        coded += '\0';
        for (uint32_t i = 0; i < kRuns; ++i) coded += "\x7F\x40\x40\x40";  // 128 grey pixels
    }
    const auto start = std::chrono::steady_clock::now();
    for (const std::string* job : {&plain, static_cast<const std::string*>(&coded)}) {
        Result r;
        ASSERT_EQ(Count(*job, r), QM_OK);
        EXPECT_EQ(r.rec.pages, 1u);
        EXPECT_TRUE(r.estimated);
        EXPECT_EQ(Colours(r), "?");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// What detection makes of each kind, whole and cut.
TEST(Raster, Bids) {
    Header h;
    const std::string v3 = Sync('3', false) + CupsHeader(h, '3', false) + PlainRows(2, 16, "\x01");
    h.pwg = true;
    const std::string pwg = Sync('2', true) + CupsHeader(h, '2', true) + CodedRows(2, 16, "\x01");
    const std::string urf = UrfFile(1) + UrfHeader(8, 0, 1, 16, 2, 72) + CodedRows(2, 16, "\x01");
    Header wrong;
    wrong.bits = 5;
    const struct {
        const char* name;
        std::string job;
        const char* tag;
        int bid;
    } cases[] = {
        {"CUPS 3, little-endian", v3, "CUPSRaster", qm::accurate::kBidStructure},
        {"PWG", pwg, "PWGRaster", qm::accurate::kBidStructure},
        {"PWG is no plain CUPS 2", pwg, "CUPSRaster", qm::accurate::kNoBid},
        {"URF", urf, "URF", qm::accurate::kBidStructure},
        {"CUPS header cut", v3.substr(0, 64), "CUPSRaster", qm::accurate::kBidSignature},
        {"URF header cut", urf.substr(0, 20), "URF", qm::accurate::kBidSignature},
        {"a header no printer takes", Sync('3', true) + CupsHeader(wrong, '3', true), "CUPSRaster",
         qm::accurate::kNoBid},
        {"the sync word of version 4", "RaS4" + v3.substr(4), "CUPSRaster", qm::accurate::kNoBid},
        {"behind PJL", "\x1b%-12345X@PJL JOB\r\n" + pwg, "PWGRaster", qm::accurate::kBidStructure},
    };
    for (const auto& c : cases) {
        const auto* lang = qm::accurate::FindLanguage(c.tag);
        ASSERT_NE(lang, nullptr) << c.tag;
        EXPECT_EQ(qm::accurate::BidOf(*lang, Bytes(c.job)), c.bid) << c.name;
    }
}

// The tags and the everyday names of the new languages.
TEST(Raster, AliasesNameTheLanguages) {
    const struct {
        const char* name;
        const char* tag;
    } cases[] = {
        {"pwg", "PWGRaster"}, {"PWGRASTER", "PWGRaster"}, {"urf", "URF"}, {"AppleRaster", "URF"},
        {"UNIRAST", "URF"},   {"CupsRaster", "CUPSRaster"}, {"raster", "CUPSRaster"}, {"pclm", "PCLm"},
    };
    for (const auto& c : cases) EXPECT_STREQ(QuirometerCanonicalTag(c.name), c.tag) << c.name;
}

// PCLm is a PDF that says so on its second line: it outbids PDF, and a PDF
// without that line stays PDF.
TEST(Pclm, OutbidsThePdfItIs) {
    const std::string pdf =
        "%PDF-1.7\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n2 0 obj\n<< /Type /Pages /Kids [] /Count 0 "
        ">>\nendobj\n";
    const std::string pclm = "%PDF-1.7\n%PCLm 1.0\n" + pdf.substr(9);
    const auto detected = [](const std::string& job) {
        const auto d = qm::accurate::Detect(Bytes(job));
        return std::string(d.winner ? d.winner->counter->tag : "unknown");
    };
    EXPECT_EQ(detected(pdf), "PDF");
    EXPECT_EQ(detected(pclm), "PCLm");
    // The comment may start at byte 63 at the latest; further down it is no PCLm profile.
    EXPECT_EQ(detected("%PDF-1.7\n%" + std::string(52, 'x') + "\n%PCLm 1.0\n" + pdf.substr(9)), "PCLm");
    EXPECT_EQ(detected("%PDF-1.7\n%" + std::string(53, 'x') + "\n%PCLm 1.0\n" + pdf.substr(9)), "PDF");
    EXPECT_EQ(detected("\x01\n%PCLm 1.0\n"), "unknown");  // the comment alone makes no PDF
    EXPECT_EQ(detected("%PDF-1.7\n\n%PCLm 1.0\n" + pdf.substr(9)), "PCLm");  // after a blank line
}

}  // namespace
