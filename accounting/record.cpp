#include "record.h"

#include <array>

#include <nlohmann/json.hpp>

namespace qmacct {

namespace {

constexpr std::array<std::string_view, 4> kStatusNames = {"printed", "failed", "refused", "not counted"};
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Length of the valid UTF-8 sequence at the start of `s`, or 0.
size_t Utf8Length(std::string_view s) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(0);
    if (c < 0x80) return 1;
    size_t n = 0;
    uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (s.size() < n) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((b(i) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i) & 0x3F);
    }
    const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    if (overlong || surrogate || cp > 0x10FFFF) return 0;
    return n;
}

bool IsControl(std::string_view ch) {
    if (ch.size() == 1) return static_cast<unsigned char>(ch[0]) < 0x20 || ch[0] == 0x7F;
    // C1 controls, U+0080..U+009F, are C2 80..C2 9F.
    return ch.size() == 2 && static_cast<unsigned char>(ch[0]) == 0xC2 && static_cast<unsigned char>(ch[1]) < 0xA0;
}

}  // namespace

std::string_view StatusName(Status status) { return kStatusNames[static_cast<size_t>(status)]; }

std::optional<Status> StatusFromName(std::string_view name) {
    for (size_t i = 0; i < kStatusNames.size(); ++i)
        if (kStatusNames[i] == name) return static_cast<Status>(i);
    return std::nullopt;
}

std::string CleanText(std::string_view text, size_t maxBytes) {
    std::string out;
    out.reserve(std::min(text.size(), maxBytes));
    for (size_t i = 0; i < text.size();) {
        const size_t n = Utf8Length(text.substr(i));
        const std::string_view ch = n == 0 ? kReplacement : text.substr(i, n);
        const std::string_view put = n != 0 && IsControl(ch) ? kReplacement : ch;
        if (out.size() + put.size() > maxBytes) break;
        out += put;
        i += n == 0 ? 1 : n;
    }
    return out;
}

uint64_t SheetsFor(uint64_t pages, uint64_t copies, bool duplex) {
    return copies * (duplex ? (pages + 1) / 2 : pages);
}

nlohmann::json ToJson(const Record& r) {
    return nlohmann::json{
        {"time", r.time},
        {"updated_us", r.updatedUs},
        {"server", r.server},
        {"printer", r.printer},
        {"job_id", r.jobId},
        {"user", r.user},
        {"title", r.title},
        {"cups_copies", r.cupsCopies},
        {"file_size", r.fileSize},
        {"pdl", r.pdl},
        {"pages", r.pages},
        {"copies", r.copies},
        {"printed", r.Printed()},
        {"color_pages", r.colorPages},
        {"color_printed", r.ColorPrinted()},
        {"color_unknown_pages", r.colorUnknownPages},
        {"duplex", r.duplex},
        {"sheets", r.sheets},
        {"paper_width", r.paperWidth},
        {"paper_length", r.paperLength},
        {"certainty", r.certainty},
        {"unknown", r.unknown},
        {"status", StatusName(r.status)},
        {"error", r.error},
    };
}

Record FromJson(const nlohmann::json& j) {
    Record r;
    j.at("time").get_to(r.time);
    j.at("updated_us").get_to(r.updatedUs);
    r.server = CleanText(j.at("server").get<std::string>(), kMaxNameBytes);
    r.printer = CleanText(j.at("printer").get<std::string>(), kMaxNameBytes);
    j.at("job_id").get_to(r.jobId);
    r.user = CleanText(j.at("user").get<std::string>(), kMaxNameBytes);
    r.title = CleanText(j.at("title").get<std::string>(), kMaxTitleBytes);
    j.at("cups_copies").get_to(r.cupsCopies);
    j.at("file_size").get_to(r.fileSize);
    r.pdl = CleanText(j.at("pdl").get<std::string>(), kMaxNameBytes);
    j.at("pages").get_to(r.pages);
    j.at("copies").get_to(r.copies);
    j.at("color_pages").get_to(r.colorPages);
    j.at("color_unknown_pages").get_to(r.colorUnknownPages);
    j.at("duplex").get_to(r.duplex);
    j.at("sheets").get_to(r.sheets);
    j.at("paper_width").get_to(r.paperWidth);
    j.at("paper_length").get_to(r.paperLength);
    r.certainty = CleanText(j.at("certainty").get<std::string>(), kMaxNameBytes);
    r.unknown = CleanText(j.at("unknown").get<std::string>(), kMaxNameBytes);
    const auto status = StatusFromName(j.at("status").get<std::string>());
    if (!status) throw std::invalid_argument("unknown status");
    r.status = *status;
    r.error = CleanText(j.at("error").get<std::string>(), kMaxErrorBytes);
    return r;
}

}  // namespace qmacct
