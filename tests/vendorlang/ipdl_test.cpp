#include "testutil.h"

using namespace qmtest;

namespace {

// The 60-byte job header: copies at offset 19, 0x0F at offset 59 for colour.
std::string Head(int copies, int colour = 0) {
    std::string h(60, 'h');
    h[19] = static_cast<char>(copies);
    h[59] = static_cast<char>(colour);
    return h;
}

const std::string kPage = "\x0F" "AU";

std::string Paper(int width, int length) {
    return Bin({0x01, 'A', 0x00, 0x55, 0x00, 0x00, 0x02, '@', 0x00, 0x03, width >> 8, width & 0xFF, length >> 8,
                length & 0xFF});
}

const double kW = (4678 + 422) / 614.0, kL = (6332 + 422) / 614.0;

TEST(IpdlPages, MarkersAndPaperHeaders) {
    const Case cases[] = {
        {"two markers apart", Head(1) + kPage + "z" + kPage, {2, 1}},
        {"back to back", Head(1) + kPage + kPage, {1, 1}},
        {"marker cut short", Head(1) + kPage + "\x0F" "A", {1, 1}},
        {"paper", Head(1) + Paper(4678, 6332) + kPage, {1, 1, 0, 0, kW, kL}},
        {"later paper wins", Head(1) + Paper(1, 1) + kPage + "z" + Paper(4678, 6332) + kPage, {2, 1, 0, 0, kW, kL}},
        {"byte after a marker is not looked at", Head(1) + kPage + Paper(4678, 6332), {1, 1}},
        {"paper cut short", Head(1) + Paper(4678, 6332).substr(0, 13), {0, 1}},
        {"paper byte 6 wrong", Head(1) + Paper(4678, 6332).replace(6, 1, "\x03"), {0, 1}},
        {"largest values", Head(1) + Paper(0xFFFF, 0xFFFF), {0, 1, 0, 0, 65957 / 614.0, 65957 / 614.0}},
    };
    for (const Case& c : cases) ExpectRecord("IPDL", c);
}

TEST(IpdlHeader, FixedOffsetsFromTheFirstByte) {
    const Case cases[] = {
        {"copies 7", Head(7) + kPage + "z" + kPage + "z" + kPage, {3, 7}},
        {"colour", Head(1, 0x0F) + kPage, {1, 1, 1}},
        {"colour byte begins a marker", Head(1, 0x0F) + "AU", {1, 1, 1}},
        {"other colour byte", Head(1, 0x0E), {0, 1}},
        {"59 bytes: no colour", Head(2, 0x0F).substr(0, 59), {0, 2}},
        {"20 bytes: copies", Head(3).substr(0, 20), {0, 3}},
        {"19 bytes: no copies", Head(3).substr(0, 19), {0, 0}},
        {"marker alone", kPage, {1, 0}},
        {"leading NULs are header bytes", std::string(19, '\0') + "\x05" + kPage, {1, 5}},
    };
    for (const Case& c : cases) ExpectRecord("IPDL", c);
}

}  // namespace

TEST(IpdlFile, EntryPoint) { ExpectRecord("IPDL", "NULs only, through the file", std::string(64, '\0'), {0, 0}, true); }
