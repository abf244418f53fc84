// PostScript: the export's one-pass scan, its lookup of every byte, and the
// accurate count.
#include <tuple>

#include "pcl/reference_scan.h"
#include "pspdf/postscript_accurate.h"
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

using Expect = std::tuple<const char*, std::string, uint32_t>;  // name, job, the field's value

TEST(PostScript, PagesFromCommentsAndPassThroughRules) {
    const std::string pass = "%%BeginDocument: Pscript_Win_PassThrough\n%%Page: 1 1\n%%EndDocument\n";
    const Expect cases[] = {
        {"declared count wins over fewer comments", "%%Pages: 3\n%%Page: 1 1\n%%Page: 2 2\n", 3},
        {"more comments than declared", "%%Pages: 3\n%%Page: a\n%%Page: b\n%%Page: c\n%%Page: d\n", 4},
        {"bracket comments only", "%%[Page: 1]%%\n%%[Page: 2]%%\n", 2},
        {"bracket count raises the declared count", "%%Pages: 1\n%%[Page: 1]%%\n%%[Page: 2]%%\n", 2},
        {"pass-through leaves the bracket count", pass + pass + "%%[Page: 1]%%\n%%[Page: 2]%%\n%%[Page: 3]%%\n", 3},
        {"pass-through pages are taken off", pass + "%%Page: 1 1\n%%Page: 2 2\n", 2},
        {"more pass-through documents than comments",
         pass + "%%BeginDocument: Pscript_Win_PassThrough\n%%[Page: 1]%%\n", 1},
        {"pattern right after a pattern is not seen", "%%Page:%%Page:\n", 1},
        {"byte after the blanks of %%Pages: is not seen", "%%Pages:%%Page: 1\n", 0},
        {"comment cut at the end", "%%Page", 0},
        {"digits past nine are ignored", "%%Pages: 12345678901\n", 123456789},
        {"sign ends the count", "%%Pages: -4\n", 0},
        {"driver model name swallows what follows", "%%LXDrvModelName: X%%Page: 1 1\n", 0},
        {"NULs only", std::string(16, '\0'), 0},
        {"leading NULs", std::string(3, '\0') + "%%Page: 1 1\n", 1},
    };
    for (const auto& [name, job, value] : cases) EXPECT_EQ(Count(job).pages, value) << name;
}

TEST(PostScript, CopiesFromTheFirstUsableKeyword) {
    const Expect cases[] = {
        {"#copies", "/#copies 2 def\n", 2},
        {"NumCopies key", "<< /NumCopies 3 >> setpagedevice", 3},
        {"at the very start", "numcopies 6", 6},
        {"in parentheses, and the search ends", "numcopies(4) #copies 7 ", 4},
        {"parenthesis without digit", "numcopies( 5 ", 5},
        {"#copies is case-sensitive", "#COPIES 2 ", 0},
        {"binary token", std::string("#copies \x87\x0C\x00", 11), 12},
        {"first value wins", "#copies 2 #copies 5 ", 2},
        {"a query of the printer, any case, is passed over", "CupsGetNumCopies 5 #copies 2 ", 2},
        {"-1 leaves the search open", "#copies 1 -1 x\n/#copies 4 def", 4},
        {"-1 keeps the value read", "#copies 1 -1 x\n", 1},
        {"-1 after CR LF", "#copies 2\r\n-1 #copies 5 ", 5},
        {"-1 after a line feed does not count", "#copies 2\n-1 #copies 5 ", 2},
        {"zero leaves the search open", "#copies 0 x numcopies 7", 7},
        {"byte after the value is not examined", "#copies 0 numcopies 7", 0},
        {"feature block before the keyword", "%!\n[{3 }\n/#copies 0 def", 3},
        {"brace and CR before the keyword", "x{\r8 x numcopies -1", 8},
        {"nearest block wins", "[{3 } [{9 } #copies 0 ", 9},
        {"block after the keyword is not seen", "#copies 0 [{5", 0},
        {"block at the first byte is not tried", "[{5 #copies 0 ", 0},
        {"one byte in, it is", " [{5 #copies 0 ", 5},
    };
    for (const auto& [name, job, value] : cases) EXPECT_EQ(Count(job).copies, value) << name;
}

TEST(PostScript, ColourUnlessGreySettingsOrModelsWin) {
    const Expect cases[] = {
        {"black fill array", "[ 0 0 0 ] x", 1},
        {"CIE colour space", "setABCcs x", 1},
        {"process colours start with cyan", "%%DocumentProcessColors: Cyan Black\n", 1},
        {"process colours start with black", "%%DocumentProcessColors: Black Cyan\n", 0},
        {"colour model", "/ProcessColorModel /DeviceCMYK", 1},
        {"grey model", "/ProcessColorModel /DeviceGray", 0},
        {"colour model cut short", "/ProcessColorModel /Dev", 1},
        {"colour operands", "0.5 0.2 0.1 scol x", 1},
        {"black CMYK operands", "0 0 0 1 scol x", 0},
        {"white operands", "1 1 1 1 scol x", 0},
        {"grey operands 1 0", "1 0 scol x", 0},
        {"grey operands 0 0", "1 0 0 scol x", 0},
        {"operator without number before it", "x scol x", 0},
        {"grey feature after colour", "[ 0 0 0 ]\n*EFColorMode GRAY\n", 0},
        {"grey feature before colour", "*HPColorAsGray True\n[ 0 0 0 ]\n", 0},
        {"grey colour space", "/DeviceGray dup setcolorspace\nsetABCcs ", 0},
        {"monochrome target", "%%TargetDevice: (HP LaserJet 4345 mfp PS)\n[ 0 0 0 ]", 0},
        {"colour target", "%%TargetDevice: (Some Colour PS)\n[ 0 0 0 ]", 1},
        {"monochrome driver model", "%%LXDrvModelName: Lexmark T632 PS3\n[ 0 0 0 ]", 0},
    };
    for (const auto& [name, job, value] : cases) EXPECT_EQ(Count(job).color, value) << name;
}

TEST(PostScript, DuplexSettingsTurnItOn) {
    const Expect cases[] = {
        {"any case", "/Duplex  TRUE", 1},
        {"false", "/Duplex false", 0},
        {"tab is not a blank", "/Duplex\ttrue", 0},
        {"feature top", "*EFDuplex Top\n", 1},
        {"feature none", "*EFDuplex None\n", 0},
    };
    for (const auto& [name, job, value] : cases) EXPECT_EQ(Count(job).duplex, value) << name;
}

float In(int points) { return static_cast<float>(points) * (1.0f / 72.0f); }

TEST(PostScript, PaperFromBoxPageSizeRotateAndOrientation) {
    const std::tuple<const char*, std::string, float, float> cases[] = {  // name, job, length, width
        {"bounding box", "%%PageBoundingBox: 0 0 612 792\n", 11.0f, 8.5f},
        {"landscape viewing", "%%ViewingOrientation: 0 1 -1 0\n%%PageBoundingBox: 0 0 612 792\n", 8.5f, 11.0f},
        {"portrait viewing", "%%ViewingOrientation: 1 0 0 1\n%%PageBoundingBox: 0 0 612 792\n", 11.0f, 8.5f},
        {"box with origin", "%%PageBoundingBox: 18 36 594 756\n", In(720), In(576)},
        {"page size", "<< /PageSize [595 842] >> setpagedevice", In(842), In(595)},
        {"larger box wins", "/PageSize [595 842]\n%%PageBoundingBox: 0 0 612 900\n", In(900), In(612)},
        {"larger page size wins", "%%PageBoundingBox: 0 0 100 100\n/PageSize [595 842]", In(842), In(595)},
        {"rotate takes the page size", "90 rotate\n\n/PageSize [595 842]\n%%PageBoundingBox: 0 0 612 900\n", In(842),
         In(595)},
        {"270 rotate is not", "/PageSize [595 842]\n%%PageBoundingBox: 0 0 612 900\n270 rotate\n", In(900), In(612)},
        {"rotate then landscape", "/PageSize [595 842]\n90 rotate\n\n%%ViewingOrientation: 0 -1 1 0\n", In(595),
         In(842)},
        {"rotate swallows the byte after it", "/PageSize [595 842]\n90 rotate\n%%ViewingOrientation: 0 -1 1 0\n",
         In(842), In(595)},
        {"blank after the bracket", "/PageSize [ 595 842]", In(595), 0.0f},
        {"negative box corner reads as zero", "%%PageBoundingBox: -5 0 612 792\n", 0.0f, 0.0f},
        {"box cut short", "%%PageBoundingBox: 0 0 612", 0.0f, In(612)},
        {"rotate at the start", "rotate", 0.0f, 0.0f},
    };
    for (const auto& [name, job, length, width] : cases) {
        const PageCountResult rec = Count(job);
        EXPECT_EQ(rec.paperLength, static_cast<double>(length)) << name;
        EXPECT_EQ(rec.paperWidth, static_cast<double>(width)) << name;
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

// The scan jumps to the next byte that may start a pattern; it must read
// what a lookup of every byte reads.
TEST(PostScriptReference, CountsWhatALookupOfEveryByteCounts) {
    qmtest::ExpectSameOnCorpusAndRandom(
        "POSTSCRIPT", qm::ScanPOSTSCRIPTEveryByte,
        {"%%Page: 1 1\n", "%%Pages: 3\n", "%%[Page: 2]%%", "%%PageBoundingBox: 0 0 612 792\n", "/PageSize [595 842]",
         "/Duplex true", "#copies 2 ", "/NumCopies 3 ", "numcopies", "cupsgetnumcopies", "90 rotate", "1 0 0 scol ",
         "setABCcs ", "[ 0 0 0 ]", "*EFDuplex Top", "[{", "%", "*", "/", "#", "N", "n", "[", "r", "s", " "});
}

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
        {"the first page size", "<< /PageSize [595.9 842] >> setpagedevice << /PageSize [612 792] >> setpagedevice",
         -1, 0, 595.9},
        {"unbalanced braces", "}}} { { << /Duplex true >> setpagedevice", -1, 0, 0},
        {"showpages run and counted", "showpage +2 { showpage copypage } repeat 3x { showpage } repeat", -1, 0, 0, 5},
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
