#include "pspdf/postscript_accurate.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kPs = "%!PS-Adobe-3.0\n";

TEST(PostScriptAccurate, Pages) {
    const std::string head = kPs + "%%Pages: (atend)\n%%EndComments\n";
    const std::string page = "%%Page: 1 1\n0 0 moveto (x) show\nshowpage\n";
    const struct {
        const char* what;
        std::string job;
        uint32_t pages;  // 0: no count
        bool estimated;
    } cases[] = {
        {"page comments", head + page + page + page + "%%Trailer\n%%Pages: 3\n%%EOF\n", 3, false},
        {"an embedded document's pages are not the job's",
         head + page + "%%BeginDocument: a.eps\n%%Page: 1 1\nshowpage\n%%Page: 2 2\n%%EndDocument\n" + page, 2, false},
        {"page comments inside stated binary data",
         head + page + "%%BeginData: 24 Binary Bytes\n%%Page: 9 9\n%%Page: 9 9\n" + page, 2, false},
        {"the trailer's total without page comments", head + "%%Trailer\n%%Pages: 4\n", 4, true},
        {"showpage at the top level", "%!\n/F 10 def\nshowpage\n(}) show showpage\n", 2, true},
        {"a procedure that shows the page, called", "%!\n/ep { showpage } bind def\nep ep ep\n", 3, true},
        {"a counted loop", "%!\n4 { showpage } repeat\n", 4, true},
        {"a procedure only defined", "%!\n/ep { showpage } def\n", 0, false},
        {"a loop of unknown length", "%!\n{ showpage } loop\n", 0, false},
        {"no PostScript at all", "hello", 0, false},
        {"nothing", "", 0, false},
        {"showpage in a string or comment", "%!\n(showpage) pop % showpage\n", 0, false},
    };
    for (const auto& c : cases) {
        qm::accurate::Result r;
        const int32_t code = qm::psaccurate::CountPostScript(qm::Bytes(c.job), r);
        EXPECT_EQ(code, c.pages ? QM_OK : QM_E_NOT_UNDERSTOOD) << c.what;
        EXPECT_EQ(r.rec.pages, c.pages) << c.what;
        EXPECT_EQ(r.estimated, c.estimated) << c.what;
    }
}

// Page-device requests count when the job runs them, not where it defines them.
TEST(PostScriptAccurate, ExecutedRequests) {
    const std::string setup =
        "/pdfSetup { /setpagedevice where { pop 2 dict begin /Policies 1 dict dup begin /PageSize 6 def end def "
        "{ /Duplex true def } if currentdict end setpagedevice } { pop } ifelse } def\n";
    const struct {
        const char* what;
        std::string code;
        int duplex;
        uint32_t copies;
        double width;
        uint64_t showpages = 0;
        bool looped = false;
    } cases[] = {
        {"a page-device dictionary", "<< /Duplex true /NumCopies 3 >> setpagedevice", 1, 3, 0},
        {"the same in a definition, then another body run",
         "/d { << /Duplex true /NumCopies 3 >> setpagedevice } bind def { } exec", -1, 0, 0},
        {"the definition called", "/d { << /Duplex true >> setpagedevice } bind def d", 1, 0, 0},
        {"a procset asked for simplex", setup + "false pdfSetup", 0, 0, 0},
        {"a procset asked for duplex", setup + "true pdfSetup", 1, 0, 0},
        {"a conditional request run", "true { << /Duplex true >> setpagedevice } if", 1, 0, 0},
        {"duplex without setpagedevice", "<< /Duplex true >> pop", -1, 0, 0},
        {"a string that looks like a request", "(<< /Duplex true >> setpagedevice) pop", -1, 0, 0},
        {"the copies variable", "/#copies 2 def", -1, 2, 0},
        {"the copies variable in a definition", "/c { /#copies 2 def } def", -1, 0, 0},
        {"statusdict duplex mode", "statusdict begin true setduplexmode end", 1, 0, 0},
        {"the first page size", "<< /PageSize [595 842] >> setpagedevice << /PageSize [612 792] >> setpagedevice", -1,
         0, 595},
        {"unbalanced braces", "}}} { { << /Duplex true >> setpagedevice", -1, 0, 0},
        {"showpages run and counted", "showpage +2 { showpage copypage } repeat", -1, 0, 0, 5},
        {"repeats of turns not known", "-2 { showpage } repeat 2.5 { showpage } repeat", -1, 0, 0, 0, true},
        {"a loop", "{ showpage } loop", -1, 0, 0, 0, true},
    };
    for (const auto& c : cases) {
        const qm::psaccurate::DeviceRequests d = qm::psaccurate::ExecutedRequests(qm::Bytes(c.code));
        EXPECT_EQ(d.duplex, c.duplex) << c.what;
        EXPECT_EQ(d.copies, c.copies) << c.what;
        EXPECT_DOUBLE_EQ(d.pageWidth, c.width) << c.what;
        EXPECT_EQ(d.showpages, c.showpages) << c.what;
        EXPECT_EQ(d.loopedShowpage, c.looped) << c.what;
    }
}

TEST(PostScriptAccurate, CopiesDuplexAndPaperOfAJob) {
    const std::string page = "%%Page: 1 1\nshowpage\n";
    const std::string prolog = "%%BeginProlog\n/d { << /Duplex true >> setpagedevice } def\n%%EndProlog\n";
    const std::string media = "%%DocumentMedia: Letter 612 792 0 () ()\n%%+ A4 595 842 0 () ()\n";
    const struct {
        const char* what;
        std::string job;
        uint32_t copies;
        uint8_t duplex;
        double width, length;  // points
        bool estimated;
    } cases[] = {
        {"required copies", kPs + "%%Requirements: numcopies(3) collate\n%%EndComments\n" + page, 3, 0, 0, 0, false},
        {"executed copies over required ones",
         kPs + "%%Requirements: numcopies(3)\n%%EndComments\n%%BeginSetup\n<< /NumCopies 2 >> setpagedevice\n"
               "%%EndSetup\n" + page,
         2, 0, 0, 0, false},
        {"a procset definition is no request", kPs + prolog + page, 1, 0, 0, 0, false},
        {"a duplex feature in the page setup",
         kPs + prolog + "%%Page: 1 1\n%%BeginPageSetup\n%%BeginFeature: *Duplex DuplexNoTumble\nd\n%%EndFeature\n"
                        "%%EndPageSetup\nshowpage\n",
         1, 1, 0, 0, false},
        {"document media", kPs + media + page, 1, 0, 612, 792, false},
        {"the first page's medium",
         kPs + media + "%%DocumentMedia: A4 595 842 0 () ()\n%%Page: 1 1\n%%PageMedia: A4\nshowpage\n", 1, 0, 595, 842,
         false},
        {"an executed page size", kPs + "%%BeginSetup\n<< /PageSize [612 1008] >> setpagedevice\n%%EndSetup\n" + page,
         1, 0, 612, 1008, false},
        {"the bounding box as a last resort", kPs + "%%BoundingBox: 0 0 595 842\n90 rotate\n" + page, 1, 0, 595, 842,
         true},
        {"an EPS file's box is no sheet", "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 100 50\n" + page, 1, 0, 0, 0,
         false},
    };
    for (const auto& c : cases) {
        qm::accurate::Result r;
        ASSERT_EQ(qm::psaccurate::CountPostScript(qm::Bytes(c.job), r), QM_OK) << c.what;
        EXPECT_EQ(r.rec.pages, 1u) << c.what;
        qm::accurate::Finish(r);
        EXPECT_EQ(r.rec.copies, c.copies) << c.what;
        EXPECT_EQ(r.rec.duplex, c.duplex) << c.what;
        EXPECT_NEAR(r.rec.paperWidth * 72, c.width, 0.01) << c.what;
        EXPECT_NEAR(r.rec.paperLength * 72, c.length, 0.01) << c.what;
        EXPECT_EQ(r.estimated, c.estimated) << c.what;
        EXPECT_NE(r.unknown & QM_FIELD_COLOR, 0u) << c.what;
    }
}

}  // namespace
