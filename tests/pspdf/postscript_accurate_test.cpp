#include "pspdf/postscript_accurate.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Count {
    int32_t code;
    qm::accurate::Result r;
};

Count CountOf(const std::string& job) {
    Count c{};
    c.code = qm::psaccurate::CountPostScript(qm::Bytes(job), c.r);
    return c;
}

const std::string kHead = "%!PS-Adobe-3.0\n%%Pages: (atend)\n%%EndComments\n";

TEST(PostScriptAccurate, Pages) {
    struct Case {
        const char* what;
        std::string job;
        int32_t code;
        uint32_t pages;
        bool estimated;
    };
    const std::string page = "%%Page: 1 1\n0 0 moveto (x) show\nshowpage\n";
    const Case cases[] = {
        {"page comments", kHead + page + page + page + "%%Trailer\n%%Pages: 3\n%%EOF\n", QM_OK, 3, false},
        {"an embedded document's pages are not the job's",
         kHead + page + "%%BeginDocument: a.eps\n%%Page: 1 1\nshowpage\n%%Page: 2 2\n%%EndDocument\n" + page, QM_OK, 2,
         false},
        {"page comments inside stated binary data",
         kHead + page + "%%BeginData: 24 Binary Bytes\n%%Page: 9 9\n%%Page: 9 9\n" + page, QM_OK, 2, false},
        {"the trailer's total without page comments",
         kHead + "%%Trailer\n%%Pages: 4\n", QM_OK, 4, true},
        {"showpage at the top level", "%!\n/F 10 def\nshowpage\n(}) show showpage\n", QM_OK, 2, true},
        {"a procedure that shows the page, called", "%!\n/ep { showpage } bind def\nep ep ep\n", QM_OK, 3, true},
        {"a counted loop", "%!\n4 { showpage } repeat\n", QM_OK, 4, true},
        {"a procedure only defined", "%!\n/ep { showpage } def\n", QM_E_NOT_UNDERSTOOD, 0, false},
        {"a loop of unknown length", "%!\n{ showpage } loop\n", QM_E_NOT_UNDERSTOOD, 0, false},
        {"no PostScript at all", "hello", QM_E_NOT_UNDERSTOOD, 0, false},
        {"nothing", "", QM_E_NOT_UNDERSTOOD, 0, false},
        {"showpage in a string or comment", "%!\n(showpage) pop % showpage\n", QM_E_NOT_UNDERSTOOD, 0, false},
    };
    for (const Case& c : cases) {
        const Count n = CountOf(c.job);
        EXPECT_EQ(n.code, c.code) << c.what;
        if (c.code != QM_OK) continue;
        EXPECT_EQ(n.r.rec.pages, c.pages) << c.what;
        EXPECT_EQ(n.r.estimated, c.estimated) << c.what;
    }
}

// Page-device requests count when the job runs them, not where it defines them.
TEST(PostScriptAccurate, ExecutedRequests) {
    struct Case {
        const char* what;
        std::string code;
        int duplex;
        uint32_t copies;
        double width;
    };
    const std::string setup =
        "/pdfSetup { /setpagedevice where { pop 2 dict begin /Policies 1 dict dup begin /PageSize 6 def end def "
        "{ /Duplex true def } if currentdict end setpagedevice } { pop } ifelse } def\n";
    const Case cases[] = {
        {"a page-device dictionary", "<< /Duplex true /NumCopies 3 >> setpagedevice", 1, 3, 0},
        {"the same in a definition only", "/d { << /Duplex true /NumCopies 3 >> setpagedevice } bind def", -1, 0, 0},
        {"the definition called", "/d { << /Duplex true >> setpagedevice } bind def d", 1, 0, 0},
        {"a procset asked for simplex", setup + "false pdfSetup", 0, 0, 0},
        {"a procset asked for duplex", setup + "true pdfSetup", 1, 0, 0},
        {"a conditional request run", "true { << /Duplex true >> setpagedevice } if", 1, 0, 0},
        {"duplex without setpagedevice", "<< /Duplex true >> pop", -1, 0, 0},
        {"a string that looks like a request", "(<< /Duplex true >> setpagedevice) pop", -1, 0, 0},
        {"the copies variable", "/#copies 2 def", -1, 2, 0},
        {"the copies variable in a definition", "/c { /#copies 2 def } def", -1, 0, 0},
        {"statusdict duplex mode", "statusdict begin true setduplexmode end", 1, 0, 0},
        {"a page size", "<< /PageSize [595 842] >> setpagedevice", -1, 0, 595},
        {"unbalanced braces", "}}} { { << /Duplex true >> setpagedevice", -1, 0, 0},
    };
    for (const Case& c : cases) {
        const qm::psaccurate::DeviceRequests d = qm::psaccurate::ExecutedRequests(qm::Bytes(c.code));
        EXPECT_EQ(d.duplex, c.duplex) << c.what;
        EXPECT_EQ(d.copies, c.copies) << c.what;
        EXPECT_DOUBLE_EQ(d.pageWidth, c.width) << c.what;
    }
}

TEST(PostScriptAccurate, CopiesDuplexAndPaperOfAJob) {
    struct Case {
        const char* what;
        std::string job;
        uint32_t copies;
        uint8_t duplex;
        double width, length;
        bool estimated;
    };
    const std::string page = "%%Page: 1 1\nshowpage\n";
    const std::string body = "%%BeginProlog\n/d { << /Duplex true >> setpagedevice } def\n%%EndProlog\n";
    const Case cases[] = {
        {"required copies", "%!PS-Adobe-3.0\n%%Requirements: numcopies(3) collate\n%%EndComments\n" + page, 3, 0, 0, 0,
         false},
        {"executed copies over required ones",
         "%!PS-Adobe-3.0\n%%Requirements: numcopies(3)\n%%EndComments\n%%BeginSetup\n<< /NumCopies 2 >> "
         "setpagedevice\n%%EndSetup\n" + page,
         2, 0, 0, 0, false},
        {"a procset definition is no request", "%!PS-Adobe-3.0\n" + body + page, 1, 0, 0, 0, false},
        {"a duplex feature in the page setup",
         "%!PS-Adobe-3.0\n" + body +
             "%%Page: 1 1\n%%BeginPageSetup\n%%BeginFeature: *Duplex DuplexNoTumble\nd\n%%EndFeature\n%%EndPageSetup\n"
             "showpage\n",
         1, 1, 0, 0, false},
        {"document media", "%!PS-Adobe-3.0\n%%DocumentMedia: Letter 612 792 0 () ()\n%%+ A4 595 842 0 () ()\n" + page,
         1, 0, 8.5, 11, false},
        {"the first page's medium",
         "%!PS-Adobe-3.0\n%%DocumentMedia: Letter 612 792 0 () ()\n%%+ A4 595 842 0 () ()\n%%DocumentMedia: A4 595 842 "
         "0 () ()\n%%Page: 1 1\n%%PageMedia: A4\nshowpage\n",
         1, 0, 595 / 72.0, 842 / 72.0, false},
        {"an executed page size",
         "%!PS-Adobe-3.0\n%%BeginSetup\n<< /PageSize [612 1008] >> setpagedevice\n%%EndSetup\n" + page, 1, 0, 8.5, 14,
         false},
        {"the bounding box as a last resort", "%!PS-Adobe-3.0\n%%BoundingBox: 0 0 595 842\n90 rotate\n" + page, 1, 0,
         595 / 72.0, 842 / 72.0, true},
        {"an EPS file's box is no sheet", "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 100 50\n" + page, 1, 0, 0, 0,
         false},
    };
    for (const Case& c : cases) {
        const Count n = CountOf(c.job);
        ASSERT_EQ(n.code, QM_OK) << c.what;
        EXPECT_EQ(n.r.rec.pages, 1u) << c.what;
        qm::accurate::Result r = n.r;
        qm::accurate::Finish(r);
        EXPECT_EQ(r.rec.copies, c.copies) << c.what;
        EXPECT_EQ(r.rec.duplex, c.duplex) << c.what;
        EXPECT_NEAR(r.rec.paperWidth, c.width, 0.001) << c.what;
        EXPECT_NEAR(r.rec.paperLength, c.length, 0.001) << c.what;
        EXPECT_EQ(r.estimated, c.estimated) << c.what;
        EXPECT_NE(r.unknown & QM_FIELD_COLOR, 0u) << c.what;
    }
}

}  // namespace
