#include "testutil.h"

using namespace qmtest;

namespace {

std::string Id(int id) { return Bin({0xF8, id}); }

std::string Ubyte(int v, int id) { return Bin({0xC0, v}) + Id(id); }
std::string Uint16(uint32_t v, int id) { return "\xC1" + Le16(v) + Id(id); }
std::string Uint16Xy(uint32_t x, uint32_t y, int id) { return "\xD1" + Le16(x) + Le16(y) + Id(id); }
std::string UbyteArray(const std::string& bytes, int id) {
    return Bin({0xC8, 0xC1}) + Le16(static_cast<uint32_t>(bytes.size())) + bytes + Id(id);
}

const std::string kBeginPage = "\x43";
const std::string kEndPage = "\x44";
const std::string kSetColorSpace = "\x6A";
const std::string kHeader = ") HP-PCL XL;2;0\n";
const std::string kPad(40, '\n');

// A page: BeginPage with its attributes, EndPage with its attributes.
std::string Page(const std::string& begin = "", const std::string& end = "") {
    return begin + kBeginPage + end + kEndPage;
}

TEST(PclXlPages, PagesAndCopies) {
    const std::string copies2 = Page("", Uint16(2, 49));
    const Case cases[] = {
        {"three pages of two copies", kHeader + copies2 + copies2 + copies2, {3, 2}},
        {"PJL QTY beats PageCopies", "@PJL SET QTY=4\n" + kHeader + copies2 + copies2 + copies2 + kPad, {3, 4}},
        {"PJL COPIES", "@PJL SET COPIES=6\n" + kHeader + copies2 + kPad, {1, 6}},
        {"no copies anywhere", kHeader + Page() + Page(), {2, 0}},
        {"largest PageCopies", Page("", Uint16(3, 49)) + Page("", Uint16(7, 49)) + Page("", Uint16(2, 49)), {3, 7}},
        {"PageCopies as a ubyte", Page("", Ubyte(5, 49)), {1, 5}},
        {"PageCopies before another operator is lost", Uint16(9, 49) + "\x41" + kEndPage, {1, 0}},
        {"header line is not read as operators", ")DDD\n" + Page(), {1, 0}},
        {"only NUL bytes", std::string(16, '\0'), {0, 0}},
    };
    for (const Case& c : cases) ExpectRecord("PCLXL", c);
}

TEST(PclXlValues, EveryDataTypeIsConsumedWhole) {
    // Value bytes of 0x44 would count as EndPage if the value were cut
    // short; a value that ran long would swallow the real EndPage.
    const struct {
        int tag;
        size_t bytes;
    } scalars[] = {{0xC0, 1},  {0xC1, 2},  {0xC2, 4},  {0xC3, 2},  {0xC4, 4},  {0xC5, 4},
                   {0xD0, 2},  {0xD1, 4},  {0xD2, 8},  {0xD3, 4},  {0xD4, 8},  {0xD5, 8},
                   {0xE0, 4},  {0xE1, 8},  {0xE2, 16}, {0xE3, 8},  {0xE4, 16}, {0xE5, 16}};
    for (const auto& t : scalars) {
        const std::string value = Bin({t.tag}) + std::string(t.bytes, '\x44');
        ExpectRecord("PCLXL", "one-byte identifier", value + Id(0x44) + kEndPage, {1, 0});
        ExpectRecord("PCLXL", "two-byte identifier", value + Bin({0xF9, 0x44, 0x44}) + kEndPage, {1, 0});
    }
    const struct {
        int tag;
        std::string header;
        size_t bytes;
    } arrays[] = {
        {0xC8, Bin({0xC0, 3}), 3},           {0xC8, Bin({0xC1}) + Le16(300), 300},  {0xC9, Bin({0xC3}) + Le16(2), 4},
        {0xCA, Bin({0xC2}) + Le32(2), 8},    {0xCB, Bin({0xC0, 1}), 2},             {0xCC, Bin({0xC4}) + Le32(1), 4},
        {0xCD, Bin({0xC5}) + Le32(3), 12},   {0xC8, Bin({0xC0, 0}), 0},
    };
    for (const auto& a : arrays) {
        ExpectRecord("PCLXL", "array", Bin({a.tag}) + a.header + std::string(a.bytes, '\x44') + Id(0x44) + kEndPage, {1, 0});
    }
}

TEST(PclXlValues, EmbeddedDataAndOtherBlocksArePassedOver) {
    const Case cases[] = {
        {"embedded data, 4-byte length", "\xFA" + Le32(5) + std::string(5, '\x44') + kEndPage, {1, 0}},
        {"embedded data, 1-byte length", Bin({0xFB, 3}) + std::string(3, '\x44') + kEndPage, {1, 0}},
        {"embedded data clears the list", Uint16(4, 49) + "\xFA" + Le32(0) + kEndPage, {1, 0}},
        {"embedded data past the end", kEndPage + "\xFA" + Le32(100) + kEndPage, {1, 0}},
        {"block behind CA CA 10 00", Bin({0xCA, 0xCA, 0x10, 0x00, 0x44, 0x44, 0x44, 0x44, 0x00, 0x02}) +
                                         std::string(12, '\x44') + kEndPage,
         {1, 0}},
        {"array running past the end", kEndPage + Bin({0xC8, 0xC2}) + Le32(0xFFFFFFF0) + std::string(8, '\x44'), {1, 0}},
        {"array count cut by the end", kEndPage + Bin({0xC8, 0xC2, 0x01}), {1, 0}},
        {"unlisted length tag: resumes with the next byte", Bin({0xC8, 0x44}) + kEndPage, {2, 0}},
        {"bytes that are not values", Bin({0xC6, 0xC7, 0xCE, 0xF8, 0xFF}) + kEndPage, {1, 0}},
    };
    for (const Case& c : cases) ExpectRecord("PCLXL", c);
}

TEST(PclXlValues, TheAttributeListHoldsTwenty) {
    std::string nineteen;
    for (int k = 0; k < 19; ++k) nineteen += Ubyte(0, 1);
    ExpectRecord("PCLXL", "twentieth stored, twenty-first not", nineteen + Ubyte(2, 37) + Ubyte(5, 37) + kBeginPage,
                 {0, 0, 0, 0, 8.26, 11.69});
    ExpectRecord("PCLXL", "twenty-first not stored", nineteen + Ubyte(0, 1) + Ubyte(2, 37) + kBeginPage, {0, 0});
}

// Entries of the attribute list are reused from operator to operator; a
// short value reads as itself, never with bytes of a longer value that sat
// in the same entry before. Copies are an array's first two bytes.
TEST(PclXlValues, ShortValuesReadNothingOfEarlierLongOnes) {
    const std::string ff = UbyteArray(std::string(16, '\xFF'), 1) + "\x41";
    const Case cases[] = {
        {"one-byte copies after a long array", ff + UbyteArray("\x05", 49) + kEndPage, {1, 5}},
        {"two-byte copies after a long array", ff + UbyteArray(Bin({7, 1}), 49) + kEndPage, {1, 0x107}},
        {"empty copies after a long array", ff + UbyteArray("", 49) + kEndPage, {1, 0}},
        {"second entry after two long arrays",
         UbyteArray(std::string(16, '\xFF'), 1) + ff + UbyteArray("", 1) + UbyteArray("\x03", 49) + kEndPage, {1, 3}},
    };
    for (const Case& c : cases) ExpectRecord("PCLXL", c);
}

TEST(PclXlAttributes, MediaSizeDuplexColour) {
    const Case cases[] = {
        {"enumeration 2", Page(Ubyte(2, 37)), {1, 0, 0, 0, 8.26, 11.69}},
        {"enumeration as uint16", Page(Uint16(4, 37)), {1, 0, 0, 0, 11.0, 17.0}},
        {"name A4", Page(UbyteArray("A4", 37)), {1, 0, 0, 0, 8.26, 11.69}},
        {"landscape swaps", Page(Ubyte(2, 37) + Ubyte(1, 40)), {1, 0, 0, 0, 11.69, 8.26}},
        {"landscape stays", Page(Ubyte(1, 40)) + Page(Ubyte(0, 40) + Ubyte(0, 37)), {2, 0, 0, 0, 11.0, 8.5}},
        {"enumeration 13", Page(Ubyte(13, 37)), {1, 0, 0, 0, 8.5, 11.0}},
        {"enumeration 0xFF", Page(Ubyte(0xFF, 37)), {1, 0, 0, 0, 8.5, 11.0}},
        {"enumeration 18", Page(Ubyte(18, 37)), {1, 0, 0, 0, 5.04, 7.17}},
        {"Japanese postcard", Page(Ubyte(14, 37)), {1, 0, 0, 0, 5.83, 3.94}},
        {"name JDOUBLEPOSTCARD", Page(UbyteArray("JDOUBLEPOSTCARD", 37)), {1, 0, 0, 0, 5.83, 7.87}},
        {"unknown name", Page(UbyteArray("TABLOID", 37)), {1, 0, 0, 0, 8.5, 11.0}},
        {"name stored from a 300-byte array", Page(UbyteArray("A3" + std::string(298, 'x'), 37)), {1, 0, 0, 0, 11.69, 16.54}},
        {"media type does not change the size", Page(Ubyte(2, 37) + UbyteArray("PLAIN", 39)), {1, 0, 0, 0, 8.26, 11.69}},
        {"begin page without size keeps the last", Page(Ubyte(5, 37)) + Page(), {2, 0, 0, 0, 11.69, 16.54}},
        {"custom size in millimetres", Page(Uint16Xy(210, 297, 47) + Ubyte(1, 48)), {1, 0, 0, 0, 297 / 25.4, 210 / 25.4}},
        {"custom size in tenths of millimetres", Page(Uint16Xy(2100, 2970, 47) + Ubyte(2, 48)), {1, 0, 0, 0, 2970 / 254.0, 2100 / 254.0}},
        {"custom size in inches, uint32", Page("\xD2" + Le32(9) + Le32(12) + Id(47)), {1, 0, 0, 0, 12.0, 9.0}},
        {"custom size sint32", Page("\xD4" + Le32(0xFFFFFFFE) + Le32(3) + Id(47)), {1, 0, 0, 0, 3.0, -2.0}},
        {"custom size real32", Page("\xD5" + std::string("\x00\x00\x08\x41\x00\x00\x30\x41", 8) + Id(47)), {1, 0, 0, 0, 11.0, 8.5}},
        {"custom size as ubyte_xy", Page(Bin({0xD0, 9, 12}) + Id(47)), {1, 0, 0, 0, 12.0, 9.0}},
        {"custom size as sint16_xy", Page("\xD3" + Le16(0xFFFF) + Le16(14) + Id(47)), {1, 0, 0, 0, 14.0, -1.0}},
        {"units apply to named sizes too", Page(Ubyte(0, 37) + Ubyte(1, 48)), {1, 0, 0, 0, 8.5 / 25.4, 11.0 / 25.4}},
        {"duplex page mode", Page(Ubyte(0, 53)), {1, 0, 0, 1}},
        {"PJL duplex", "@PJL SET DUPLEX=ON\n" + Page() + kPad, {1, 0, 0, 1}},
        {"RGB colour space", Ubyte(2, 3) + kSetColorSpace + Page(), {1, 0, 1}},
        {"grey colour space", Ubyte(1, 3) + kSetColorSpace + Page(), {1, 0}},
        {"colour space without SetColorSpace", Ubyte(2, 3) + Page(), {1, 0}},
        {"planes in use 1 beats colour", "@PJL SET PLANESINUSE=1\n" + Ubyte(2, 3) + kSetColorSpace + kPad, {0, 0}},
        {"grey render mode beats colour", "@PJL SET RENDERMODE=GRAYSCALE\n" + Ubyte(2, 3) + kSetColorSpace + kPad, {0, 0}},
        {"GRAY alone is not grey here", "@PJL SET RENDERMODE=GRAY\n" + Ubyte(2, 3) + kSetColorSpace + kPad, {0, 0, 1}},
        {"colour render mode", "@PJL SET RENDERMODE=COLOR\n" + kPad, {0, 0, 1}},
        {"colour mode key is not known here", "@PJL SET PLANESINUSE=1\n@PJL SET COLORMODE=COLOR\n" + Ubyte(2, 3) +
                                                  kSetColorSpace + kPad,
         {0, 0}},
        {"vendor data length: colour and skip", "\xC2" + Le32(3) + Bin({0xF8, 146}) + "\x46" + "\x44\x44\x44" + kEndPage,
         {1, 0, 1}},
    };
    for (const Case& c : cases) ExpectRecord("PCLXL", c);
}

TEST(PclXlDiagnostics, Lines) {
    const LinesCase cases[] = {
        {"header, PJL and ESC", "\x1B%-12345X@PJL\n) HP\n",
         {"sheetler.dll!GetTotalPageCount_PCLXL: ESC command! 1B 0\n",
          "sheetler.dll!GetTotalPageCount_PCLXL: PJL command! 40 9\n",
          "sheetler.dll!GetTotalPageCount_PCLXL: PJL comment! 29 E\n"}},
        {"end page", "\x43\x44",
         {"sheetler.dll!GetTotalPageCount_PCLXL: EndPage command! 44 1\n"}},
        {"not a value", "\x41\xC6\x41",
         {"sheetler.dll!GetTotalPageCount_PCLXL: Error!1\n"}},
        {"render modes", "@PJL SET RENDERMODE=COLOR\n@PJL SET RENDERMODE=GRAYSCALE\n" + kPad,
         {"sheetler.dll!GetTotalPageCount_PCLXL: PJL command! 40 0\n",
          "sheetler.dll!GetTotalPageCount_PCLXL: 14 Color print!\n",
          "sheetler.dll!GetTotalPageCount_PCLXL: PJL command! 40 1A\n",
          "sheetler.dll!GetTotalPageCount_PCL: 2E Greyscale print!\n"}},
        {"PJL inside a value is not seen", UbyteArray("@PJL", 1), {}},
    };
    for (const LinesCase& c : cases) ExpectLines("PCLXL", c);
}

}  // namespace
