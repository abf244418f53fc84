#include <gtest/gtest.h>

#include <string>

#include "escp/canon.h"
#include "escp/canon_bjl.h"
#include "escp/canon_raster.h"
#include "testutil.h"

using namespace qmtest;
using qm::CommandStream;
using namespace qm::canon;

namespace {

const std::string kFF = "\x0C";
const std::string kToRaster = std::string("\x1B[K\x02\x00\x00\x0F", 7);
const std::string kToText = std::string("\x1B[K\x02\x00\x00\x1F", 7);
const std::string kToEmulation = "\x1B@";
const std::string kBjlMessage = "Bubble Jet Language is not supported. Ignoring all commands.\n";

// ESC <intro> <letter>, the little-endian count of `args`, then `args`.
std::string Cmd(char intro, char letter, const std::string& args) {
    return "\x1B" + (intro + (letter + Le16(uint32_t(args.size())))) + args;
}
std::string Paren(char letter, const std::string& args) { return Cmd('(', letter, args); }

struct RasterRun {
    int mode = kRasterMode;  // or, for the text-language skip, its result
    PageCountResult rec{};
    std::string out;   // standard output of the run
    std::string rest;  // what the run left unread
};

// Runs `step` over a stream of `job` and collects what it printed and left.
template <typename Step>
RasterRun RunOn(const std::string& job, Step step) {
    TempJob file(job);
    CommandStream stream;
    EXPECT_TRUE(stream.Open(file.path()));
    RasterRun r;
    testing::internal::CaptureStdout();
    step(stream, r);
    r.out = testing::internal::GetCapturedStdout();
    uint8_t b = 0;
    while (stream.ReadByte(b)) r.rest += char(b);
    return r;
}
RasterRun RunRasterOn(const std::string& job, PageCountResult start = {}) {
    return RunOn(job, [&](CommandStream& s, RasterRun& r) { r.rec = start, RunRaster(s, r.mode, r.rec); });
}

TEST(CanonRaster, DataBytesAreNeverTakenForCommands) {
    struct Case {
        const char* name;
        std::string job;
        uint32_t pages;
        uint8_t color;
        int mode = kEndOfData;
        std::string rest = "";  // what the run left unread
    };
    const std::string ffs(5, '\x0C');
    const Case cases[] = {
        {"three form feeds", kFF + kFF + kFF, 3, 0},
        {"CMYK data", Paren('A', ffs) + kFF, 1, 1},
        {"palette image data", Paren('C', ffs), 0, 1},
        {"image without colour", Paren('F', ffs) + kFF, 1, 0},
        {"colour palette", Paren('f', ffs), 0, 1},
        {"ESC [ names the same command", Cmd('[', 'A', ffs) + kFF, 1, 1},
        {"refused page mode count", Paren('a', ffs), 0, 0},
        {"refused resolution count", Paren('d', "\x0C\x0C\x0C"), 0, 0},
        {"unknown byte after ESC", "\x1B\x0C" + kFF, 1, 0},
        // Where the run ends and what it leaves; a colour command counts once
        // named. (The traces below show what other commands skip: bytes left
        // unread would be echoed.)
        {"back to the emulation", kFF + "\x1B@" + kFF + "AB", 1, 0, kEscpMode, kFF + "AB"},
        {"emulation asked for at the very end", kFF + "\x1B@", 1, 0},
        {"initial condition 0F stays in raster", Cmd('[', 'K', std::string("\x00\x0F", 2)) + kFF, 1, 0},
        {"empty job", "", 0, 0},
        {"ESC alone at the end", kFF + "\x1B", 1, 0},
        {"count cut short", kFF + "\x1B(A\x10", 1, 1},
        {"data cut short", kFF + Paren('A', std::string(300, 'x')).substr(0, 50), 1, 1},
        {"count past the end", kFF + "\x1B(A\xFF\xFF" + kFF, 1, 1},
    };
    for (const Case& c : cases) {
        const RasterRun r = RunRasterOn(c.job);
        EXPECT_EQ(r.mode, c.mode) << c.name;
        EXPECT_EQ(r.rec.pages, c.pages) << c.name;
        EXPECT_EQ(r.rec.color, c.color) << c.name;
        EXPECT_EQ(r.rest, c.rest) << c.name;
    }
}

TEST(CanonRaster, MergesIntoTheRecord) {
    struct Case {
        const char* name;
        std::string job;
        PageCountResult start;
        Want want;
    };
    const Case cases[] = {
        {"empty record takes the defaults", kFF, {}, {1, 0, 0, 0, 8.5, 11.0}},
        {"pages add up, copies become 0", kFF + kFF, {3, 7, 0, 0, {}, 12.0, 9.0}, {5, 0, 0, 0, 9.0, 12.0}},
        {"colour found is taken", Paren('A', "x"), {0, 0, 0, 0, {}, 1.0, 1.0}, {0, 0, 1, 0, 1.0, 1.0}},
        // margins in tenths of an inch at 360 dpi
        {"page margins", Paren('g', "\x6E\x01\x02\x03"), {}, {0, 0, 0, 0, 8.5, 11.0}},
        // the same length at 600 dpi is still 14 inches
        {"margins at another resolution", Paren('d', "\x02\x58") + Paren('g', "\x8C"), {}, {0, 0, 0, 0, 8.5, 14.0}},
        // sixtieths of an inch: 0x294 = 660 is 11 inches
        {"extended margins", Paren('p', "\x02\x94"), {}, {0, 0, 0, 0, 8.5, 11.0}},
        {"extended margins, resolution after them", Paren('p', "\x02\x94") + Paren('d', std::string("\x00\x00", 2)),
         {}, {0, 0, 0, 0, 8.5, 11.0}},
        {"zero resolution leaves the length unknown",
         Paren('d', std::string("\x00\x00", 2)) + Paren('p', std::string("\x00\x01", 2)), {}, {0, 0, 0, 0, 8.5, 0.0}},
        {"size already known is kept", Paren('g', "\x32"), {0, 0, 0, 0, {}, 11.69, 8.27}, {0, 0, 0, 0, 8.27, 11.69}},
    };
    for (const Case& c : cases) ExpectFields(RunRasterOn(c.job, c.start).rec, c.want, c.name);
}

TEST(CanonRaster, TracesEveryCommand) {
    struct Case {
        const char* name;
        std::string job;
        std::string trace;
    };
    const std::string unsupported = "   This commmand is unsupported\n";
    const Case cases[] = {
        {"controls", "\x0A\x0C\x0D", "LineFeed\nFormFeed\nCarriageReturn\n"},
        {"unknown bytes", "AB\x1BZ\x1B(Z", "ABZZ"},
        {"emulation", "\x1B@", "ReturnToEmulation\n"},
        {"page mode", Paren('a', "\x05"), "SetPageMode : 5\n"},
        {"compression", Paren('b', "\x01"), "SetDataCompression 0\n"},
        {"compression refused", Paren('b', ""), "SetDataCompression - invalid count.\n"},
        {"printing method", Paren('c', "xyz"), "SetPrintingMethod\n" + unsupported},
        {"resolution, one value", Paren('d', "\x01\x68"), "SetRasterResolution 168 x 168\n"},
        {"resolution, two values", Paren('d', "\x01\x68\x02\xD0"), "SetRasterResolution 2d0 x 168\n"},
        {"raster skip", Paren('e', std::string("\x00\x10", 2)), "RasterSkip 10\n"},
        {"raster skip 0 returns the carriage", Paren('e', std::string("\x00\x00", 2)),
         "RasterSkip 0\nCarriageReturn\n"},
        {"palette", Paren('f', "xy"), "ColorPalette - unsupported\n"},
        {"margins", Paren('g', "\x6E\x01\x02\x03"),
         "SetPageMargins : PageLen = 6e  LeftMar = 1  RightMar = 2  Offset = 3\n"},
        {"margins, short count", Paren('g', "\x6E\x01"),
         "SetPageMargins : PageLen = 6e  LeftMar = 1  RightMar = 0  Offset = 0\n"},
        {"margins refused", Paren('g', "12345"), "SetPageMargins - invalid count.\n"},
        {"margins without a count", Paren('g', ""), "SetPageMargins - invalid count.\n"},
        {"ink cartridge", Paren('m', "x"), "IndentifyInkCartridge\n" + unsupported},
        {"move", Paren('n', "\x01\x02"), "MoveByRasterLine : Delta = 102\n"},
        {"move 0 returns the carriage", Paren('n', std::string("\x00\x00", 2)),
         "MoveByRasterLine : Delta = 0\nCarriageReturn\n"},
        {"move refused", Paren('n', ""), "MoveByRasterLine - invalid count.\n"},
        {"move unit", Paren('o', "\x01\x68"), "SetUnitForMoveByRasterLine : res = 168\n"},
        {"extended margins", Paren('p', std::string("\x02\x94\x00\x10\x00\x20\x00\x30", 8)),
         "SetExtendedPageMargins : PageLen = 294  LeftMar = 10  RightMar = 20  Offset = 30\n"},
        {"extended margins refused", Paren('p', "\x02\x94\x01"), "SetExtendedPageMargins - invalid count.\n"},
        {"extended margins without a count", Paren('p', ""), "SetExtendedPageMargins - invalid count.\n"},
        {"extended margins, ten bytes", Paren('p', std::string(10, '\0')), "SetExtendedPageMargins - invalid count.\n"},
        {"page id", Paren('q', "x"), "SetPageID\n" + unsupported},
        {"CMYK image", Paren('A', "\x41\x42\x43\x44\x45"), "CMYKRasterImage\n"},
        {"palette image", Paren('C', "x"), "PaletteRasterImage\n"},
        {"plain image", Paren('F', "x"), "RasterImageWithoutColorSelection\n"},
        {"initial condition", Cmd('[', 'K', "\x01\x02"), "SetInitialCondition\n"},
        {"initial condition refused", Cmd('[', 'K', "x"), "SetInitialCondition : Invalid count\n"},
        {"ESC [ b is ESC ( b", Cmd('[', 'b', "\x01"), "SetDataCompression 0\n"},
        {"ESC ( K is unknown", Paren('K', "") + "x", std::string("K\0\0x", 4)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunRasterOn(c.job).out, c.trace) << c.name;
    }
}

TEST(CanonRaster, TreeListsEndWithTheirNulNode) {
    // Every list of the tree ends in a node that matches any byte it does not
    // hold, so a walk never runs off a list.
    const RasterCommandNode* root = RasterCommandRoot();
    const RasterCommandNode* esc = FindRasterNode(root, 0x1B).child;
    ASSERT_NE(esc, nullptr);
    for (const RasterCommandNode* list : {root, esc, FindRasterNode(esc, '(').child, FindRasterNode(esc, '[').child}) {
        ASSERT_NE(list, nullptr);
        for (int code = 0; code < 256; ++code) {
            const RasterCommandNode& node = FindRasterNode(list, static_cast<uint8_t>(code));
            if (node.byte == 0) {
                EXPECT_EQ(node.child, nullptr);
                EXPECT_EQ(node.operation, nullptr);
            } else {
                EXPECT_EQ(node.byte, code);
            }
        }
    }
}

// ---- the text-language skip ----

RasterRun SkipOn(const std::string& job, int result) {
    return RunOn(job, [&](CommandStream& s, RasterRun& r) { r.mode = SkipBubbleJetLanguage(s, result); });
}

TEST(CanonBjl, SkipsUpToTheEndLine) {
    struct Case {
        const char* name;
        std::string job;
        int result;
        std::string rest;
    };
    const std::string longLine(1000, 'x');
    const Case cases[] = {
        {"end line in lower case with more text", "ControlMode=Common\nbjlend now\nAB", 0, "AB"},
        {"end line first", "BJLEND\n\x0C", 0, "\x0C"},
        {"end line without its line feed", "x\nBJLEND", 0, ""},
        {"no end line", "x\nBJLEN\nBJL END\n", 7, ""},
        {"end line not at the start of a line", "  BJLEND\nx BJLEND\n", 7, ""},
        {"NUL inside the keyword", std::string("BJL\0END\n", 8), 7, ""},
        {"over-long line then the end line", longLine + "\nBJLEND\nAB", 0, "AB"},
        {"over-long end line", "BJLEND" + longLine + "\nAB", 0, "AB"},
        {"end line hidden past the buffer", std::string(300, ' ') + "BJLEND\nAB", 7, ""},
        {"empty block data", "", 7, ""},
    };
    for (const Case& c : cases) {
        const RasterRun r = SkipOn(c.job, 7);
        EXPECT_EQ(r.mode, c.result) << c.name;
        EXPECT_EQ(r.rest, c.rest) << c.name;
        EXPECT_EQ(r.out, kBjlMessage) << c.name;
    }
    EXPECT_TRUE(LineStartsWithKeyword("azAZ more", "AZaz"));  // either case, a to z
}

// ---- whole jobs through the entry point ----

// What a count of `job` through the entry point writes to standard output.
std::string TraceOf(const std::string& job) {
    TempJob file(job);
    PageCountResult rec{};
    testing::internal::CaptureStdout();
    EXPECT_EQ(GetTotalPageCount_CANON(file.path(), &rec), QM_OK);
    return testing::internal::GetCapturedStdout();
}

TEST(Canon, CountsAcrossModeSwitches) {
    SilenceStdout quiet;
    const Case cases[] = {
        {"emulation form feeds", "AB" + kFF + "CD" + kFF, {2, 0, 0, 0, 8.5, 11.0}},
        {"empty job", "", {0, 0, 0, 0, 8.5, 11.0}},
        {"raster form feeds", kToRaster + kFF + kFF + kFF, {3, 0, 0, 0, 8.5, 11.0}},
        {"raster, then back to the emulation", kToRaster + kFF + kFF + kFF + kToEmulation + "more text\r\n",
         {3, 0, 0, 0, 8.5, 11.0}},
        {"pages of every run add up", kFF + kToRaster + kFF + kToEmulation + kFF + kToRaster + kFF + kFF + kToEmulation,
         {5, 0, 0, 0, 8.5, 11.0}},
        {"form feeds in raster data are data", kToRaster + Paren('A', kFF + kFF + kFF) + kFF, {1, 0, 1, 0, 8.5, 11.0}},
        {"raster colour survives a later run", kToRaster + Paren('A', "x") + kToEmulation + kFF, {1, 0, 1, 0, 8.5, 11.0}},
        {"text block in the emulation", kToText + "ControlMode=Common\n" + "bjlend and more\n" + kFF + kFF,
         {2, 0, 0, 0, 8.5, 11.0}},
        {"text block in raster mode", kToRaster + kToText + "\x0C\x0C\n" + "BJLEND\n" + kFF, {1, 0, 0, 0, 8.5, 11.0}},
        {"text block that never ends", kToText + "\x0C\n\x0C\n", {0, 0, 0, 0, 8.5, 11.0}},
        // The paper size comes from the first run.
        {"emulation page length", "\x1B" "C\x0C" + kToRaster + Paren('g', "\x8C") + kFF, {1, 0, 0, 0, 8.5, 12.0}},
        {"later emulation run is not asked", kToRaster + kToEmulation + "\x1B" "C\x0C", {0, 0, 0, 0, 8.5, 11.0}},
        {"raster margins do not override", kToRaster + Paren('g', "\x8C"), {0, 0, 0, 0, 8.5, 11.0}},
        // A colour raster command with 0 bits per dot cannot be sized.
        {"interpreter fault", kFF + Lit("\x1Bi\x01\x00\x00\x10\x00\x01\x00") + kFF, kRejected},
    };
    for (const Case& c : cases) ExpectRecord("CANON", c, true);
}

TEST(Canon, TracesWholeJobs) {
    struct Case {
        const char* name;
        std::string job;
        std::string trace;
    };
    const Case cases[] = {
        {"text and form feed", "AB" + kFF, "ABFormFeed\n"},
        {"into raster and back",
         "A" + kToRaster + Paren('A', "\x0C\x0C") + kFF + kToEmulation + "B\r",
         "ASetInitialCondition\nCMYKRasterImage\nFormFeed\nReturnToEmulation\nBCarriageReturn\n"},
        {"text block", kToText + "x\nBJLEND\n" + "C",
         "SetInitialCondition\n" + kBjlMessage + "C"},
    };
    for (const Case& c : cases) EXPECT_EQ(TraceOf(c.job), c.trace) << c.name;
}

}  // namespace
