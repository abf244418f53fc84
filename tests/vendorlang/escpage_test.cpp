#include <cmath>
#include <random>

#include "accurate_testutil.h"
#include "vendorlang/vendor_accurate.h"

using namespace qmtest;
using qm::accurate::Result;

namespace {

const std::string GS = "\x1D";

// A "bi{I" command whose first parameter counts exactly the 26 bytes of its
// "F" header that follow the final "I".
std::string Image(int lengthHi, int lengthLo, int widthHi, int widthLo, int colour, int copies) {
    std::string h = GS + "26;0bi{IF";
    h.resize(h.size() + 13, 'x');
    h += Bin({lengthHi, lengthLo, widthHi, widthLo, 'x', colour, 'x', 'x', 'x', 'x', 'x', copies});
    return h;
}

TEST(EscPagePages, FormFeedsPendingCopiesAndBlocks) {
    const Case cases[] = {
        {"no page end is one page", "text", {1, 1}},
        {"pending copies for one page", GS + "2coO\f\f", {3, 1}},
        {"cuO adds as well", GS + "2cuO" + GS + "3coO\f", {5, 1}},
        {"copies without a parameter", GS + "coO\f", {1, 1}},
        {"first parameter only", GS + "12;3coO\f", {12, 1}},
        {"digits at the start of the file", "2coO\f", {2, 1}},
        {"command name at the start of the file", "coO\f", {1, 1}},
        {"window of 64 bytes", GS + "13" + std::string(63, ';') + "coO\f", {3, 1}},
        {"block page", GS + "0ecE\f\f" + Bin({0xF0, 0x0C, 0x1D}) + "\f", {2, 1}},
        {"block without a page", GS + "0ecE\f\f" + Bin({0xF0, 0x1D}) + "\f\f", {2, 1}},
        {"form feed without F0 does not end a block", GS + "ecE\f" + GS + "x\f", {1, 1}},
        {"block hides commands", GS + "ecE" + GS + "2coO" + GS + "sdE" + Bin({0xF0, 0x1D}) + "\f", {1, 1}},
        {"block ended by later GS", GS + "ecE\x1D\x1D" + Bin({0xF0, 0x0C, 0x1D}), {2, 1}},
        {"block never ends", GS + "ecE\f\f\f", {1, 1}},
    };
    for (const Case& c : cases) ExpectRecord("ESC_PAGE", c);
    ExpectRecord("ESC_PAGE", "NULs only, through the file", std::string(64, '\0'), {1, 1}, true);
}

TEST(EscPageSettings, DuplexColourAndPaper) {
    const Case cases[] = {
        {"duplex", GS + "1sdE\f", {1, 1, 0, 1}},
        {"colour", GS + "1scE\f", {1, 1, 1, 0}},
        {"no number", GS + "psE", {1, 1, 0, 0, 8.5, 11.0}},
        {"unknown size keeps the earlier", GS + "14psE" + GS + "99psE", {1, 1, 0, 0, 8.27, 11.69}},
        {"upper-case letters are no command", GS + "14PSE" + GS + "1SDE", {1, 1}},
    };
    for (const Case& c : cases) ExpectRecord("ESC_PAGE", c);
}

TEST(EscPageImages, HeadersAfterBraceIf) {
    const double len = (12 * 256 + 178 + 100) / 300.0, wid = (9 * 256 + 246 + 100) / 300.0;
    const Case cases[] = {
        {"one header", Image(0x0C, 0xB2, 0x09, 0xF6, 0, 0), {1, 1, 0, 0, wid, len}},
        {"colour 0xFA, header copies", Image(0, 0, 0, 0, 0xFA, 4), {1, 4, 1, 0, 1 / 3.0, 1 / 3.0}},
        {"two headers, no form feed", Image(0, 0, 0, 0, 0, 0) + Image(0, 0, 0, 0, 0, 0), {2, 1, 0, 0, 1 / 3.0, 1 / 3.0}},
        {"form feeds win when more", Image(0, 0, 0, 0, 0, 0) + "\f\f\f", {3, 1, 0, 0, 1 / 3.0, 1 / 3.0}},
        {"data hides a form feed", Image(0x0C, 0x0C, 0x0C, 0x0C, 0x0C, 0x0C), {1, 12, 0, 0, 3184 / 300.0, 3184 / 300.0}},
        {"data skipped without a header", GS + "5;abc{\f\f\f\f\f\f", {1, 1}},
        {"skip past the end", GS + "900;abc{\f\f", {1, 1}},
        // The data follows the final letter: its last byte is no form feed.
        {"bit image ending in 0x0C", GS + Lit("3;32;1;0bi{I\0\0\x0C\f") + GS + "1;0bi{I\x0C", {1, 1}},
        {"bit image then a page end", GS + "2;32;1;0bi{I\x0C\x0C\f\f", {2, 1}},
        {"header cut short", GS + "26;0bi{IF" + std::string(10, 'x'), {1, 1}},
    };
    for (const Case& c : cases) ExpectRecord("ESC_PAGE", c);
}

TEST(EscPageEjl, SetLinesGiveCopiesAndDuplex) {
    const Case cases[] = {
        {"copies times factor", "@EJL SET CO=3 RT=2\n\f", {1, 6}},
        {"duplex on at the end", "@EJL SET DX=ON", {1, 1, 0, 1}},
        {"duplex off", "@EJL SET DX=OFF\n", {1, 1}},
        {"later copies win", "@EJL SET CO=2\n@EJL SET CO=5\n", {1, 5}},
        {"not a SET line", "@EJL JI CO=5\n", {1, 1}},
        {"SET without its blank", "@EJL SET\nCO=5\n", {1, 1}},
        {"form feed inside the line", "@EJL SET CO=2\f\n\f\f", {2, 2}},
        {"line to the end", "@EJL SET CO=2", {1, 2}},
        {"other line to the end hides a form feed", "\f@EJL\f", {1, 1}},
        {"header copies larger", "@EJL SET CO=2\n" + Image(0, 0, 0, 0, 0, 7), {1, 7, 0, 0, 1 / 3.0, 1 / 3.0}},
        {"header copies smaller", "@EJL SET CO=3 RT=3\n" + Image(0, 0, 0, 0, 0, 7), {1, 9, 0, 0, 1 / 3.0, 1 / 3.0}},
    };
    for (const Case& c : cases) ExpectRecord("ESC_PAGE", c);
    EXPECT_EQ(ScanEndingAtAPage("ESC_PAGE", "@EJL SET CO=2"), QM_OK);
}

// The number reader adds digit × 10^k for each digit read backwards, the power
// taken as a double and truncated, terms past 32 bits saturated: its table of
// powers must give what the power function gives.
// The number the reader takes from `digits`, computed with the power function.
uint32_t ByPower(const std::string& digits) {
    uint32_t value = 0, k = 0;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        const uint32_t digit = static_cast<uint32_t>(*it - '0');
        uint32_t term = 0;
        if (digit != 0) {
            const double t = digit * std::pow(10.0, static_cast<double>(k));
            term = t >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(t);
        }
        ++k;
        value = term > 0xFFFFFFFFu - value ? 0xFFFFFFFFu : value + term;
    }
    return value;
}

TEST(EscPageReference, CopiesReadAsThePowerFunctionReadsThem) {
    std::vector<std::string> numbers = {"0",          "7",           "4294967295", "4294967296", "999999999",
                                        "1000000000", "9999999999",  "0000000000001", "10000000000",
                                        "42949672950", "00004294967295", "19"};
    std::mt19937 rng(3);
    for (int n = 0; n < 200; ++n) {
        std::string d(1 + rng() % 14, '0');
        for (char& c : d) c = static_cast<char>('0' + rng() % 10);
        numbers.push_back(d);
    }
    for (const std::string& d : numbers) {
        PageCountResult rec{};
        ASSERT_EQ(CountWith("ESC_PAGE", "\x1D" + d + "coO\f", rec), QM_OK) << d;
        const uint32_t want = ByPower(d);
        EXPECT_EQ(rec.pages, want != 0 ? want : 1u) << d;
    }
}

// ---- The accurate count: page ends, copies, duplex, paper and colour from
// the structure, data stepped over by its declared length.
std::string Gs(const std::string& command) { return "\x1d" + command; }
// An image whose data holds a form feed, a reset and a side command: data, never commands.
const std::string kImage = Gs("22;64;2;0bi{I") + "\x0c\x1drhE\x1d" "0dpsE" + std::string(11, '\x0c');
const std::string kInit = "\x1b\x01@EJL \r\n@EJL ENTER LANGUAGE=ESC/PAGE\r\n" + Gs("rhE") + Gs("0;150;150drE");

TEST(AccurateEscPage, PageEndsCopiesDuplexAndPaper) {
    const std::string a4 = kInit + Gs("14psE") + Gs("2coO");
    const std::string duplex = kInit + Gs("1sdE") + Gs("30psE") + Gs("1coO");
    const std::string side = Gs("0dpsE");
    const AccurateCase cases[] = {
        {"form feeds end pages; data is stepped over", a4 + kImage + "\x0c" + kImage + "\x0c",
         {.pages = 2, .copies = 2, .width = 8.27, .length = 11.69}},
        {"a blank page still ejects a sheet", a4 + kImage + "\x0c\x0c", {.pages = 2, .copies = 2, .width = 8.27, .length = 11.69}},
        {"duplex sides; the side closing an odd job is no page", duplex + kImage + side + kImage + side + kImage + side + side,
         {.pages = 3, .duplex = 1, .width = 8.5, .length = 11}},
        {"an even duplex job keeps all its sides", duplex + kImage + side + kImage + side,
         {.pages = 2, .duplex = 1, .width = 8.5, .length = 11}},
        {"a side command is not a paper command", a4 + kImage + "\x0c" + kImage + side,
         {.pages = 2, .copies = 2, .width = 8.27, .length = 11.69}},
        {"a reset ends a page that holds marks (lp8000)",
         kInit + Gs("14psE") + kImage + Gs("0bcI") + Gs("1coO") + Gs("rhE") + kInit + Gs("rhE") + kImage + Gs("1coO") +
             Gs("rhE"),
         {.pages = 2, .width = 8.27, .length = 11.69}},
        {"path drawing marks a page", kInit + Gs("1bgpG") + Gs("0;1;30;29lnpG") + Gs("enpG") + Gs("rhE"), {.pages = 1}},
        {"marks never ejected count at the end, estimated", a4 + kImage, {.pages = 1, .copies = 2, .width = 8.27, .length = 11.69, .estimated = true}},
        {"the first page's paper", a4 + kImage + "\x0c" + Gs("32psE") + kImage + "\x0c",
         {.pages = 2, .copies = 2, .width = 8.27, .length = 11.69}},
        {"a size of no number, in dots", kInit + Gs("-1;1275;2100psE") + kImage + "\x0c", {.pages = 1, .width = 8.5, .length = 14}},
        {"EJL settings (vector drivers)",
         "\x1b\x01@EJL \n@EJL SET RS=QK DX=ON QT=1 CO=3 PS=LGL ZO=OFF\n@EJL EN LA=ESC/PAGE\n" + Gs("rhE") + kImage + "\x0c",
         {.pages = 1, .copies = 3, .duplex = 1, .width = 8.5, .length = 14}},
        {"a colour fill", kInit + Gs("1;2;3;25;51;179fpE") + kImage + "\x0c", {.pages = 1, .colour = 1}},
        {"a grey fill", kInit + Gs("1;2;3;0;0;0fpE") + kImage + "\x0c", {.pages = 1}},
        {"an overlong parameter text is no command", a4 + "\x1d" + std::string(200, '7') + "X" + kImage + "\x0c",
         {.pages = 1, .copies = 2, .width = 8.27, .length = 11.69}},
        {"data running past the end", a4 + kImage + "\x0c" + Gs("99999;8;1;0bi{I") + "abc",
         {.pages = 2, .copies = 2, .width = 8.27, .length = 11.69, .estimated = true}},
        {"no command at all", std::string("plain text\x0c", 11), {.code = QM_E_NOT_UNDERSTOOD}},
        {"commands but no page", kInit + Gs("14psE"), {.code = QM_E_NOT_UNDERSTOOD}},
    };
    for (const AccurateCase& c : cases) ExpectAccurate(qm::accurate::CountEscPage, c);
}

}  // namespace
