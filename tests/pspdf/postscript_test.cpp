#include <tuple>

#include "testutil.h"

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
        {"query of the printer is passed over", "cupsgetnumcopies 5 ", 0},
        {"query in any case", "CupsGetNumCopies 5 #copies 2 ", 2},
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
        {"black and white feature", "*XRXColor BW\nsetABCcs ", 0},
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
        {"rotate takes the page size", "/PageSize [595 842]\n%%PageBoundingBox: 0 0 612 900\n90 rotate\n",
         In(842), In(595)},
        {"minus 90 rotate", "/PageSize [595 842]\n%%PageBoundingBox: 0 0 612 900\n-90 rotate\n", In(842), In(595)},
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

}  // namespace
