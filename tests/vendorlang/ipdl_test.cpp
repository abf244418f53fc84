#include "pcl/reference_scan.h"

namespace qm {
int32_t ScanIPDLEveryByte(Bytes job, uint32_t start, PageCountResult& rec);
}  // namespace qm

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

TEST(Ipdl, MarkersPaperHeadersAndFixedHeaderOffsets) {
    const Case cases[] = {
        {"two markers apart", Head(7) + kPage + "z" + kPage, {2, 7}},
        {"byte after a marker is not looked at", Head(1) + kPage + kPage, {1, 1}},
        {"later paper wins", Head(1) + Paper(1, 1) + kPage + "z" + Paper(4678, 6332) + kPage, {2, 1, 0, 0, kW, kL}},
        {"paper cut short", Head(1) + Paper(4678, 6332).substr(0, 13), {0, 1}},
        {"paper byte 6 wrong", Head(1) + Paper(4678, 6332).replace(6, 1, "\x03"), {0, 1}},
        {"largest values", Head(1) + Paper(0xFFFF, 0xFFFF), {0, 1, 0, 0, 65957 / 614.0, 65957 / 614.0}},
        {"colour byte begins a marker", Head(1, 0x0F) + "AU", {1, 1, 1}},
        {"59 bytes: no colour", Head(2, 0x0F).substr(0, 59), {0, 2}},
        {"20 bytes: copies", Head(3).substr(0, 20), {0, 3}},
        {"19 bytes: no copies", Head(3).substr(0, 19), {0, 0}},
        {"leading NULs are header bytes", std::string(19, '\0') + "\x05" + kPage, {1, 5}},
    };
    for (const Case& c : cases) ExpectRecord("IPDL", c);
    ExpectRecord("IPDL", "NULs only, through the file", std::string(64, '\0'), {0, 0}, true);
}

// The counter stops only at 0F "A" and 01 "A"; it must count what a look at
// every byte counts.
TEST(IpdlReference, CountsWhatALookAtEveryByteCounts) {
    ExpectSameOnCorpusAndRandom(
        "IPDL", qm::ScanIPDLEveryByte,
        {Bin({0x0F, 'A', 'U'}), Bin({0x0F, 'A'}), Bin({0x0F}), Bin({0x01}), Bin({0x01, 'A', 0x00}),
         Bin({0x01, 'A', 0x00, 0x00, 0x00, 0x00, 0x02, '@', 0x00, 0x03, 0x13, 0x00, 0x1A, 0x00}), "A", "U"});
}

}  // namespace
