#include "output.h"

#include <cstdio>
#include <sstream>

namespace qmcli {
namespace {

constexpr struct {
    uint32_t bit;
    const char* json;  // the record's field names
    const char* text;
} kFieldNames[] = {
    {QM_FIELD_PAGES, "\"pages\"", "pages"},
    {QM_FIELD_COPIES, "\"copies\"", "copies"},
    {QM_FIELD_COLOR, "\"color\"", "colour"},
    {QM_FIELD_DUPLEX, "\"duplex\"", "duplex"},
    {QM_FIELD_PAPER, "\"paperLength\",\"paperWidth\"", "paper"},
};

std::string Plural(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The copies a job prints: a job that states none prints once.
uint32_t CopiesPrinted(uint32_t copies) { return copies == 0 ? 1 : copies; }

constexpr const char* kPageColor[] = {"mono", "color", "unknown"};  // by QM_PAGE_*
constexpr const char* kPageSide[] = {"none", "front", "back"};      // by QM_SIDE_*

const char* Named(const char* const (&names)[3], uint8_t v) { return v < 3 ? names[v] : "unknown"; }

std::string PaperText(double width, double length) {
    if (width == 0.0 && length == 0.0) return "unknown";
    char paper[64];
    std::snprintf(paper, sizeof paper, "%.2f x %.2f in", width, length);
    return paper;
}

std::string PageJson(const QuirometerPage& p) {
    return "{\"number\":" + std::to_string(p.number) + ",\"color\":\"" + Named(kPageColor, p.color) +
           "\",\"side\":\"" + Named(kPageSide, p.side) + "\",\"paperWidth\":" + JsonNumber(p.paperWidth) +
           ",\"paperLength\":" + JsonNumber(p.paperLength) + "}";
}

}  // namespace

std::string Hex(int32_t code) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(code));
    return buf;
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char ch : s) {
        switch (ch) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (ch < 0x20 || ch >= 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", ch);  // bytes as code points: always valid JSON
                    out += buf;
                } else {
                    out += static_cast<char>(ch);
                }
        }
    }
    return out + "\"";
}

std::string JsonNumber(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

std::string Explain(const Outcome& o, Mode mode) {
    if (mode == Mode::Compatible) {
        if (o.code == QM_OK && o.failed) return "the PDF reader could not count this file: " + o.pdfError;
        // A rejected job: the export's own words for what it expected.
        const qm::CounterInfo* c = qm::FindCounter(o.pdl);
        if (o.code == QM_E_FAIL && c != nullptr)
            return o.pdfError.empty() ? std::string(c->notJob) : std::string(c->notJob) + ": " + o.pdfError;
    }
    return QuirometerErrorText(o.code);
}

std::string MismatchWarning(const Outcome& o) {
    return "counted as " + o.pdl + ", but the job looks like " + o.detected;
}

std::string CountText(const std::string& file, const Outcome& o, Mode mode) {
    std::ostringstream line;
    line << file << ": ";
    if (o.failed) {
        line << "failed " << Hex(o.code) << " (" << Explain(o, mode) << ")";
        return line.str();
    }
    const PageCountResult& r = o.rec;
    const bool accurate = mode == Mode::Accurate;
    line << Plural(r.pages, "page", "pages") << ", ";
    if (accurate) {
        line << o.colorPages << " in colour, ";
        if (o.colorUnknownPages > 0) line << o.colorUnknownPages << " of unknown colour, ";
        line << Plural(r.copies, "copy", "copies") << ", ";
    } else {
        line << Plural(r.copies, "copy", "copies") << ", " << (r.color ? "colour" : "mono") << ", ";
    }
    line << (r.duplex ? "duplex" : "simplex") << ", paper ";
    if (accurate && (o.unknown & QM_FIELD_PAPER) != 0) {
        line << "unknown";
    } else {
        char paper[64];
        std::snprintf(paper, sizeof paper, "%.2f x %.2f in", r.paperWidth, r.paperLength);
        line << paper;
    }
    if (!accurate) return line.str();
    line << " (" << o.pdl << (o.estimated ? ", estimated" : "");
    const char* sep = "; unknown: ";
    for (const auto& f : kFieldNames) {
        if ((o.unknown & f.bit) == 0) continue;
        line << sep << f.text;
        sep = ", ";
    }
    line << ")";
    return line.str();
}

std::string CountJson(const std::string& file, const Outcome& o, Mode mode, const std::string& extra, bool listPages) {
    const bool accurate = mode == Mode::Accurate;
    std::string s = "{\"file\":" + JsonString(file) + ",\"pdl\":" + JsonString(o.pdl.empty() ? "unknown" : o.pdl) +
                    ",\"code\":\"" + Hex(o.code) + "\"";
    if (!o.failed) {
        const PageCountResult& r = o.rec;
        s += ",\"pages\":" + std::to_string(r.pages) + ",\"copies\":" + std::to_string(r.copies) +
             ",\"color\":" + std::to_string(r.color);
        if (accurate)
            s += ",\"colorPages\":" + std::to_string(o.colorPages) +
                 ",\"colorUnknownPages\":" + std::to_string(o.colorUnknownPages);
        s += ",\"duplex\":" + std::to_string(r.duplex) +
             ",\"paperLength\":" + JsonNumber(r.paperLength) + ",\"paperWidth\":" + JsonNumber(r.paperWidth);
    } else {
        s += ",\"error\":" + JsonString(Explain(o, mode));
        const qm::CounterInfo* c = accurate ? nullptr : qm::FindCounter(o.pdl);
        if (c != nullptr && c->group == qm::Group::Pdf) s += ",\"pdfError\":" + JsonString(o.pdfError);
    }
    s += std::string(",\"mode\":") + (accurate ? "\"accurate\"" : "\"compatible\"");
    if (accurate && !o.failed) {
        s += std::string(",\"certainty\":") + (o.estimated ? "\"estimated\"" : "\"exact\"") + ",\"unknown\":[";
        const char* sep = "";
        for (const auto& f : kFieldNames) {
            if ((o.unknown & f.bit) == 0) continue;
            s += sep;
            s += f.json;
            sep = ",";
        }
        s += "]";
        if (listPages) {
            s += ",\"pageList\":[";
            for (size_t i = 0; i < o.pageList.size(); ++i) s += (i ? "," : "") + PageJson(o.pageList[i]);
            s += "]";
        }
    }
    if (!o.detected.empty()) s += ",\"detected\":" + JsonString(o.detected);
    if (o.Mismatched()) s += ",\"warning\":" + JsonString(MismatchWarning(o));
    return s + extra + "}";
}

std::string DetectText(const std::string& file, const Outcome& o) {
    return file + ": " + (o.detected.empty() ? "unknown" : o.detected);
}

std::string DetectJson(const std::string& file, const Outcome& o) {
    std::string s = "{\"file\":" + JsonString(file) + ",\"pdl\":" + JsonString(o.detected.empty() ? "unknown" : o.detected) +
                    ",\"code\":\"" + Hex(o.code) + "\"";
    if (o.failed) s += ",\"error\":" + JsonString(QuirometerErrorText(o.code));
    return s + "}";
}

uint64_t SheetsOf(uint32_t pages, uint32_t copies, bool duplex) {
    const uint64_t perCopy = duplex ? (uint64_t{pages} + 1) / 2 : uint64_t{pages};
    return perCopy * CopiesPrinted(copies);
}

void Totals::Add(const Outcome& o) {
    if (o.failed) {
        ++failed;
        return;
    }
    ++jobs;
    const uint64_t copies = CopiesPrinted(o.rec.copies);
    pages += uint64_t{o.rec.pages} * copies;
    colorJobs += o.rec.color != 0;
    if (!accurate) {
        sheets += SheetsOf(o.rec.pages, o.rec.copies, o.rec.duplex != 0);
        return;
    }
    // The accurate count tells each page: its sheets and colours are summed
    // page by page.
    sheets += o.sheets;
    colorPages += uint64_t{o.colorPages} * copies;
    colorUnknownPages += uint64_t{o.colorUnknownPages} * copies;
    const uint64_t known = uint64_t{o.colorPages} + o.colorUnknownPages;
    monoPages += (o.rec.pages > known ? o.rec.pages - known : 0) * copies;
    for (const PaperSheets& p : o.paper) AddSheets(paper, p.width, p.length, p.sheets);
}

std::string Totals::Text() const {
    std::string s = "total: " + Plural(jobs, "job", "jobs") + ", " + Plural(pages, "page", "pages") + ", " +
                    Plural(sheets, "sheet", "sheets") + ", " + Plural(colorJobs, "colour job", "colour jobs");
    if (accurate) {
        s += "; " + Plural(colorPages, "colour page", "colour pages") + ", " + Plural(monoPages, "mono page", "mono pages");
        if (colorUnknownPages > 0) s += ", " + Plural(colorUnknownPages, "page", "pages") + " of unknown colour";
        const char* sep = "; sheets by paper: ";
        for (const PaperSheets& p : paper) {
            s += sep + PaperText(p.width, p.length) + " " + std::to_string(p.sheets);
            sep = ", ";
        }
    }
    if (failed > 0) s += " (" + Plural(failed, "file", "files") + " not counted)";
    return s;
}

std::string Totals::Json() const {
    std::string s = "{\"total\":{\"jobs\":" + std::to_string(jobs) + ",\"pages\":" + std::to_string(pages) +
                    ",\"sheets\":" + std::to_string(sheets) + ",\"colorJobs\":" + std::to_string(colorJobs);
    if (accurate) {
        s += ",\"colorPages\":" + std::to_string(colorPages) + ",\"monoPages\":" + std::to_string(monoPages) +
             ",\"colorUnknownPages\":" + std::to_string(colorUnknownPages) + ",\"sheetsByPaper\":[";
        for (size_t i = 0; i < paper.size(); ++i)
            s += std::string(i ? "," : "") + "{\"paperWidth\":" + JsonNumber(paper[i].width) +
                 ",\"paperLength\":" + JsonNumber(paper[i].length) + ",\"sheets\":" + std::to_string(paper[i].sheets) + "}";
        s += "]";
    }
    return s + ",\"failed\":" + std::to_string(failed) + "}}";
}

}  // namespace qmcli
