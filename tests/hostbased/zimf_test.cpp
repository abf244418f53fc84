#include "testutil.h"

using namespace qmtest;

namespace {

// A record of the given type; `rest` follows the type field.
std::string Record(uint32_t type, const std::string& rest = "", int64_t size = -1) {
    return "\xCD\x9A\xA9\xDC" + Le32(size < 0 ? uint32_t(20 + rest.size()) : uint32_t(size)) + std::string(8, 0) +
           Le32(type) + rest;
}
const std::string kPage = Record(13);

struct DevMode {
    uint16_t paperCode = 0, length = 0, width = 0, copies = 1, colour = 0, duplex = 0;
    uint16_t part1 = 0, part2 = 0;  // lengths of the two counted parts before the fields
};

// A settings record whose offset field points right behind itself.
std::string Settings(const DevMode& d) {
    return Record(1, std::string(12, 0) + Le32(32) + Le16(d.part1) + std::string(d.part1 + 2u, 'a') + Le16(d.part2) +
                         std::string(d.part2 + 84u, 'b') + Le16(d.paperCode) + Le16(d.length) + Le16(d.width) +
                         Le16(100) + Le16(d.copies) + Le16(7) + Le16(600) + Le16(d.colour) + Le16(d.duplex));
}
template <typename F>
std::string With(F change) {
    DevMode d;
    change(d);
    return Settings(d);
}

TEST(Zimf, WalksRecordsBySize) {
    const Case cases[] = {
        {"one page record", "ZIMF" + kPage, {1, 1}},
        {"twenty bytes are not walked", "ZIMF" + kPage.substr(0, 16), {0, 1}},
        {"type cut by the end", "ZIMF" + kPage.substr(0, 17), {0, 1}},
        {"page hidden in another record", "ZIMF" + Record(4, kPage) + kPage, {1, 1}},
        {"wrong mark ends the walk", "ZIMF" + kPage + "XXXX" + kPage.substr(4) + kPage, {1, 1}},
        {"zero-size record ends the walk", "ZIMF" + Record(13, "", 0) + kPage, {1, 1}},
        {"size past the end", "ZIMF" + kPage + Record(4, "", 0xFFFFFFF0) + kPage, {1, 1}},
        {"signature alone", "ZIMF", kRejected},
        {"lower-case signature", "zimf" + kPage, kRejected},
        {"NUL before the signature", Lit("\0ZIMF") + kPage, kRejected},
    };
    for (const Case& c : cases) ExpectRecord("ZIMF", c);
}

TEST(Zimf, ReadsTheDeviceModeBlock) {
    const double k = static_cast<double>(0.003937007859349251f);
    DevMode first;
    first.paperCode = 9, first.copies = 4, first.colour = 2, first.duplex = 2;
    const Case cases[] = {
        {"last row", With([](DevMode& d) { d.paperCode = 41; }), {0, 1, 0, 0, 8.5, 13.0}},
        {"explicit size", With([](DevMode& d) { d.length = 2970, d.width = 2100; }), {0, 1, 0, 0, 8.267716504633427, 11.692913342267275}},
        {"table row ignores explicit size", With([](DevMode& d) { d.paperCode = 5, d.length = 2970; }), {0, 1, 0, 0, 8.5, 14.0}},
        {"driver code past the table", With([](DevMode& d) { d.paperCode = 42, d.length = 1000, d.width = 500; }), {0, 1, 0, 0, 500 * k, 1000 * k}},
        {"duplex mode 3", With([](DevMode& d) { d.duplex = 3; }), {0, 1, 0, 1}},
        {"simplex and monochrome modes", With([](DevMode& d) { d.duplex = 1, d.colour = 1; }), {0, 1}},
        {"counted parts move the fields", With([](DevMode& d) { d.part1 = 300, d.part2 = 17, d.copies = 3; }), {0, 3}},
        {"first block alone", Settings(first), {0, 4, 1, 1, 8.27, 11.69}},
        {"second block replaces every value", Settings(first) + kPage + With([](DevMode& d) { d.length = 2970; }), {1, 1, 0, 0, 0, 11.692913342267275}},
        {"block cut by the end is not read", Settings(first) + kPage + Settings(DevMode()).substr(0, 60), {1, 4, 1, 1, 8.27, 11.69}},
        // A block that cannot be read leaves the earlier one in place.
        {"settings offset past the end", Settings(first) + Record(1, std::string(12, 0) + Le32(0xFFFFFFF0)) + kPage,
         {1, 4, 1, 1, 8.27, 11.69}},
        {"counted part past the end", Settings(first) + Record(1, std::string(12, 0) + Le32(32) + Le16(0xFFFF) + "zz") + kPage,
         {1, 4, 1, 1, 8.27, 11.69}},
    };
    for (Case c : cases) {
        c.job = "ZIMF" + c.job + Record(2);  // a closing record keeps the last one readable
        ExpectRecord("ZIMF", c);
    }
}

}  // namespace
