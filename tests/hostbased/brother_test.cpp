#include "testutil.h"

using namespace qmtest;

namespace {

std::string HbpBlock(const std::string& data) { return "@G" + Be24(uint32_t(data.size())) + data; }

TEST(HBP, CountsPageEndsAndSkipsDataBlocks) {
    const Case cases[] = {
        {"block hides @F", HbpBlock("@F@F") + "@F", {1, 1, 1}},
        {"length of three bytes", HbpBlock(std::string(0x10000, 'd')) + "@F", {1, 1, 1}},
        {"byte after @ is not rescanned", "@@F", {0, 1, 1}},
        {"block past the end", Lit("@F@G\xFF\xFF\xFF@F"), {1, 1, 1}},
        {"length cut short", "@F@G\x01", {1, 1, 1}},
    };
    for (const Case& c : cases) ExpectRecord("HBP", c);
}

std::string NcmHeader(uint8_t paper) {
    std::string h = Lit("\x1B\x7C\x01\x00\x06\x52");
    h.resize(27, 'x');
    return h + char(paper) + "yyyy";
}

TEST(BrotherNCM, CountsHeadersAndTakesTheLastPaper) {
    std::string colourFile = NcmHeader(0);
    colourFile[9] = 0x10;  // the file's byte 9 marks colour
    const std::string hdr = NcmHeader(1);
    const Case cases[] = {
        {"last header wins", NcmHeader(2) + hdr, {2, 1, 0, 0, 8.27, 11.69}},
        {"unknown code clears the size", NcmHeader(2) + NcmHeader(5), {2, 1}},
        {"colour mark", colourFile, {1, 1, 1, 0, 8.5, 11.0}},
        {"block hides a header", std::string("G") + Le16(uint32_t(hdr.size())) + hdr + "z" + NcmHeader(3), {1, 1, 0, 0, 7.25, 10.5}},
        {"header cut before its paper code", hdr.substr(0, 6), {1, 1}},
        {"block length past the end", hdr + "G\xFF\xFF" + NcmHeader(2), {1, 1, 0, 0, 8.27, 11.69}},
        // "G", length 2, two data bytes: the byte right after the data is
        // passed over; the one after it is examined.
        {"byte after the data passed over", Lit("G\x02\x00") + "dd" + hdr, {0, 1}},
        {"second byte after the data seen", Lit("G\x02\x00") + "ddz" + hdr, {1, 1, 0, 0, 8.27, 11.69}},
    };
    for (const Case& c : cases) ExpectRecord("BrotherNCM", c);
}

}  // namespace
