#include "escp/canon.h"
#include "testutil.h"

using namespace qmtest;

namespace {

const std::string kFF = "\x0C";
const std::string kToRaster = std::string("\x1B[K\x02\x00\x00\x0F", 7);
const std::string kToText = std::string("\x1B[K\x02\x00\x00\x1F", 7);
const std::string kToEmulation = "\x1B@";
const std::string kBjlMessage = "Bubble Jet Language is not supported. Ignoring all commands.\n";

// ESC ( <letter>, the little-endian count of `args`, then `args`.
std::string Paren(char letter, const std::string& args) { return "\x1B(" + (letter + Le16(uint32_t(args.size()))) + args; }

struct Counted {
    int32_t code;
    PageCountResult rec;
    std::string out;
};

Counted Count(const std::string& job) {
    TempJob file(job);
    Counted c{};
    c.rec = MarkedRecord();
    testing::internal::CaptureStdout();
    c.code = GetTotalPageCount_CANON(file.path(), &c.rec);
    c.out = testing::internal::GetCapturedStdout();
    return c;
}

TEST(Canon, CountsAcrossModeSwitches) {
    SilenceStdout quiet;
    const Case cases[] = {
        {"emulation form feeds", "AB" + kFF + "CD" + kFF, {2, 0, 0, 0, 8.5, 11.0}},
        {"no form feed is no page", "text only", {0, 0, 0, 0, 8.5, 11.0}},
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
    for (const Case& c : cases) EXPECT_EQ(Count(c.job).out, c.trace) << c.name;
}

}  // namespace
