// PostScript: the export's one-pass scan, its lookup of every byte, and the accurate count.
#include <bit>
#include <cstdint>
#include <string_view>

#include "pcl/reference_scan.h"
#include "pspdf/postscript_accurate.h"
#include "pspdf/postscript_accurate_lexer.h"
#include "casefile.h"
#include "testutil.h"

namespace qm {
int32_t ScanPOSTSCRIPTEveryByte(Bytes job, uint32_t start, PageCountResult& rec);
}  // namespace qm

using namespace qmtest;

namespace {

PageCountResult Count(const std::string& job) {
    PageCountResult rec = MarkedRecord();
    EXPECT_EQ(CountWith("POSTSCRIPT", job, rec), QM_OK);
    return rec;
}

// Each export table holds jobs and one field of their record (paper in inches, compared exactly).
TEST(PostScript, FieldsOfTheExport) {
    for (const CaseRow& r : ReadCases("pspdf/cases/export_pages.tsv"))
        EXPECT_EQ(Count(r.bytes("job")).pages, r.num("pages")) << r.name();
    for (const CaseRow& r : ReadCases("pspdf/cases/export_copies.tsv"))
        EXPECT_EQ(Count(r.bytes("job")).copies, r.num("copies")) << r.name();
    for (const CaseRow& r : ReadCases("pspdf/cases/export_colour.tsv"))
        EXPECT_EQ(Count(r.bytes("job")).color, r.num("colour")) << r.name();
    for (const CaseRow& r : ReadCases("pspdf/cases/export_duplex.tsv"))
        EXPECT_EQ(Count(r.bytes("job")).duplex, r.num("duplex")) << r.name();
    for (const CaseRow& r : ReadCases("pspdf/cases/export_paper.tsv")) {
        const PageCountResult rec = Count(r.bytes("job"));
        EXPECT_EQ(rec.paperLength, r.num("length")) << r.name();
        EXPECT_EQ(rec.paperWidth, r.num("width")) << r.name();
    }
}

TEST(PostScript, WritesTheWholeRecordThroughTheFile) {
    const std::string job =
        "%!PS-Adobe-3.0\n%%Pages: 2\n%%EndComments\n<< /Duplex true /NumCopies 3 >> setpagedevice\n"
        "%%Page: 1 1\n%%PageBoundingBox: 0 0 612 792\n[ 0 0 0 ] x\nshowpage\n%%Page: 2 2\nshowpage\n%%EOF\n";
    ExpectRecord("POSTSCRIPT", "whole job", job, {2, 3, 1, 1, 8.5, 11.0}, true);
}

TEST(PostScript, EveryPrefixOfAJobIsSafe) {
    // Each cut ends a pattern, a look-ahead or a number run at the last byte.
    const std::string job =
        "%%Pages: 2\n%%ViewingOrientation: 0 1\n%%PageBoundingBox: 0 0 612 792\n/PageSize [595 842]\n"
        "%%DocumentProcessColors: Cyan\n%%TargetDevice: (RICOH Aficio AP3200 PS3)\n"
        "%%LXDrvModelName: Lexmark T620 PS3\n/ProcessColorModel /DeviceGray\n#copies 2\r\n-1 [{\r"
        "numcopies(3) 90 rotate 1 0 scol setABCcs \x87\x01";
    ExpectEveryPrefixScans("POSTSCRIPT", job);
}

// The scan jumps to the next byte that may start a pattern; it must read what a lookup of every byte reads.
TEST(PostScriptReference, CountsWhatALookupOfEveryByteCounts) {
    qmtest::ExpectSameOnCorpusAndRandom(
        "POSTSCRIPT", qm::ScanPOSTSCRIPTEveryByte,
        {"%%Page: 1 1\n", "%%Pages: 3\n", "%%[Page: 2]%%", "%%PageBoundingBox: 0 0 612 792\n", "/PageSize [595 842]",
         "/Duplex true", "#copies 2 ", "/NumCopies 3 ", "numcopies", "cupsgetnumcopies", "90 rotate", "1 0 0 scol ",
         "setABCcs ", "[ 0 0 0 ]", "*EFDuplex Top", "[{", "%", "*", "/", "#", "N", "n", "[", "r", "s", " "});
}

TEST(PostScriptAccurate, Pages) {
    for (const CaseRow& c : ReadCases("pspdf/cases/accurate_pages.tsv")) {
        qm::accurate::Result r;
        const uint32_t pages = uint32_t(c.num("pages"));
        EXPECT_EQ(qm::psaccurate::CountPostScript(qmtest::Guarded(c.bytes("job")).bytes(), r), pages ? QM_OK : QM_E_NOT_UNDERSTOOD)
            << c.name();
        EXPECT_EQ(r.rec.pages, pages) << c.name();
        EXPECT_EQ(r.estimated, Yes(c, "estimated")) << c.name();
    }
}

TEST(PostScriptAccurate, ExecutedRequests) {
    for (const CaseRow& c : ReadCases("pspdf/cases/requests.tsv")) {
        const qm::psaccurate::DeviceRequests d = qm::psaccurate::ExecutedRequests(qmtest::Guarded(c.bytes("code")).bytes());
        EXPECT_EQ(d.duplex, int(c.num("duplex"))) << c.name();
        EXPECT_EQ(d.copies, uint32_t(c.num("copies"))) << c.name();
        EXPECT_DOUBLE_EQ(d.pageWidth, c.num("width")) << c.name();
        EXPECT_EQ(d.showpages, uint64_t(c.num("showpages"))) << c.name();
        EXPECT_EQ(d.loopedShowpage, Yes(c, "looped")) << c.name();
    }
}

TEST(PostScriptAccurate, CopiesDuplexAndPaperOfAJob) {
    for (const CaseRow& c : ReadCases("pspdf/cases/accurate_settings.tsv")) {
        qm::accurate::Result r;
        ASSERT_EQ(qm::psaccurate::CountPostScript(qmtest::Guarded(c.bytes("job")).bytes(), r), QM_OK) << c.name();
        EXPECT_EQ(r.rec.pages, 1u) << c.name();
        qm::accurate::Finish(r);
        EXPECT_EQ(r.rec.copies, uint32_t(c.num("copies"))) << c.name();
        EXPECT_EQ(r.rec.duplex, uint8_t(c.num("duplex"))) << c.name();
        EXPECT_NEAR(r.rec.paperWidth * 72, c.num("width"), 0.01) << c.name();
        EXPECT_NEAR(r.rec.paperLength * 72, c.num("length"), 0.01) << c.name();
        EXPECT_EQ(r.estimated, Yes(c, "estimated")) << c.name();
        EXPECT_EQ(r.rec.color, 0) << c.name();  // they draw nothing
        EXPECT_EQ(r.unknown & QM_FIELD_COLOR, 0u) << c.name();
    }
}

TEST(PostScriptAccurate, ColourOfEachPage) {
    for (const CaseRow& c : ReadCases("pspdf/cases/ps_colour.tsv")) {
        qm::accurate::Result r;
        ASSERT_EQ(qm::psaccurate::CountPostScript(qmtest::Guarded(c.bytes("job")).bytes(), r), QM_OK) << c.name();
        qm::accurate::Finish(r);
        EXPECT_EQ(r.rec.pages, uint32_t(c.num("pages"))) << c.name();
        EXPECT_EQ(r.estimated, Yes(c, "estimated")) << c.name();
        std::string colours, sizes;
        for (const auto& run : r.pages.Runs()) {
            for (uint32_t k = 0; k < run.count; ++k) {
                colours += run.page.color == QM_PAGE_MONO ? 'M' : run.page.color == QM_PAGE_COLOR ? 'C' : '?';
                sizes += (sizes.empty() ? "" : ",") + std::to_string(int(run.page.paperWidth * 72 + 0.5)) + "x" +
                         std::to_string(int(run.page.paperLength * 72 + 0.5));
            }
        }
        EXPECT_EQ(colours, c.text("colours")) << c.name();
        if (!c.text("sizes").empty()) {
            EXPECT_EQ(sizes, c.text("sizes")) << c.name();
        }
        const bool anyColour = colours.find('C') != std::string::npos;
        EXPECT_EQ(r.rec.color, anyColour || colours.find('?') != std::string::npos ? 1 : 0) << c.name();
        EXPECT_EQ((r.unknown & QM_FIELD_COLOR) != 0, !anyColour && colours.find('?') != std::string::npos) << c.name();
    }
}

// Numbers read with the fraction's place values from the table are the
// same doubles, bit for bit, as when each place is divided from the one
// before (colour values are judged from them), however many digits.
TEST(PostScriptAccurate, NumbersReadAsWhenEachPlaceIsDivided) {
    const auto divided = [](std::string_view s) {
        size_t k = s[0] == '-' || s[0] == '+' ? 1 : 0;
        double n = 0;
        for (; k < s.size() && s[k] != '.'; ++k) n = n * 10 + (s[k] - '0');
        double scale = 0.1;
        for (++k; k < s.size(); ++k, scale /= 10) n += (s[k] - '0') * scale;
        return s[0] == '-' ? -n : n;
    };
    // A number token that is the whole of `s`, as the lexer reads it.
    const auto read = [](std::string_view s, double& v, bool& integer) {
        const qm::Bytes b(reinterpret_cast<const uint8_t*>(s.data()), static_cast<uint32_t>(s.size()));
        qm::psaccurate::Token t;
        const uint32_t after = qm::psaccurate::NextToken(b, b.size, 0, t);
        v = t.number;
        integer = t.integer;
        return t.kind == qm::psaccurate::Kind::Number && t.from == 0 && after == b.size;
    };
    for (std::string_view s : {"0.5", "-0.333", "5.56", "8.664", "+12.0625", "0.299999999999999988898",
                               "0.1234567890123456789012345678901234", "-3.9999999999999999999999999999", ".7",
                               "1.00000000000000000000000000000000000000001", "0.01", "0.003", "0.00000007",
                               "0.0000000000000000000009", "0.000000000000000000000003", "0.0000000000000000000000007",
                               "0.00000000000000000000000000000000000001", "999999999999999.5", "1234567890123456.25",
                               "-98765432109876543210.125", "9007199254740993.0", "000000000000000000001.5"}) {
        double v = 0;
        bool integer = true;
        ASSERT_TRUE(read(s, v, integer)) << s;
        EXPECT_FALSE(integer) << s;
        EXPECT_EQ(std::bit_cast<uint64_t>(v), std::bit_cast<uint64_t>(divided(s))) << s;
    }
    for (std::string_view s : {"", "-", "+", ".", "+.", "-.", "1.2.3", "1e5", "--1", "+-1", "1-", "0x10", "1a", " 1", "1 "}) {
        double v = 0;
        bool integer = true;
        EXPECT_FALSE(read(s, v, integer)) << '"' << s << '"';
    }
}

}  // namespace
