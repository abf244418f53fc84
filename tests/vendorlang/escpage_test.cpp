#include "testutil.h"

using namespace qmtest;

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
        {"three form feeds", "\f\f\f", {3, 1}},
        {"no page end is one page", "text", {1, 1}},
        {"NULs only", Lit("\0\0\0\0"), {1, 1}},
        {"pending copies for one page", GS + "2coO\f\f", {3, 1}},
        {"cuO adds as well", GS + "2cuO" + GS + "3coO\f", {5, 1}},
        {"copies without a parameter", GS + "coO\f", {1, 1}},
        {"first parameter only", GS + "12;3coO\f", {12, 1}},
        {"digits at the start of the file", "2coO\f", {2, 1}},
        {"command name at the start of the file", "coO\f", {1, 1}},
        {"window of 64 bytes", GS + "13" + std::string(63, ';') + "coO\f", {3, 1}},
        {"leading zeros of a long number", GS + "000000000007coO\f", {7, 1}},
        {"ten digits", GS + "4294967295coO\f", {0xFFFFFFFFu, 1}},
        {"block page", GS + "0ecE\f\f" + Bin({0xF0, 0x0C, 0x1D}) + "\f", {2, 1}},
        {"block without a page", GS + "0ecE\f\f" + Bin({0xF0, 0x1D}) + "\f\f", {2, 1}},
        {"form feed without F0 does not end a block", GS + "ecE\f" + GS + "x\f", {1, 1}},
        {"block hides commands", GS + "ecE" + GS + "2coO" + GS + "sdE" + Bin({0xF0, 0x1D}) + "\f", {1, 1}},
        {"block ended by later GS", GS + "ecE\x1D\x1D" + Bin({0xF0, 0x0C, 0x1D}), {2, 1}},
        {"block never ends", GS + "ecE\f\f\f", {1, 1}},
    };
    for (const Case& c : cases) ExpectRecord("ESC_PAGE", c);
}

TEST(EscPageSettings, DuplexColourAndPaper) {
    const Case cases[] = {
        {"duplex", GS + "1sdE\f", {1, 1, 0, 1}},
        {"colour", GS + "1scE\f", {1, 1, 1, 0}},
        {"A4", GS + "14psE", {1, 1, 0, 0, 8.27, 11.69}},
        {"unknown size", GS + "99psE", {1, 1}},
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
        {"colour 0xFA", Image(0, 0, 0, 0, 0xFA, 0), {1, 1, 1, 0, 1 / 3.0, 1 / 3.0}},
        {"two headers, no form feed", Image(0, 0, 0, 0, 0, 0) + Image(0, 0, 0, 0, 0, 0), {2, 1, 0, 0, 1 / 3.0, 1 / 3.0}},
        {"header copies", Image(0, 0, 0, 0, 0, 4), {1, 4, 0, 0, 1 / 3.0, 1 / 3.0}},
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
        {"duplex on", "@EJL SET DX=ON\n", {1, 1, 0, 1}},
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
}

}  // namespace

TEST(EscPageFile, EntryPoint) { ExpectRecord("ESC_PAGE", "NULs only, through the file", std::string(64, '\0'), {1, 1}, true); }
