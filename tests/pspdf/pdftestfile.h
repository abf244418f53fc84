// Builds small classic PDF files for the reader's tests: objects written one
// key per line, cross-reference sections of 20-byte entries whose offsets are
// computed from what was written, trailers and the closing "startxref".
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace pdftest {

class PdfFile {
public:
    explicit PdfFile(std::string header = "%PDF-1.4\n") : text_(std::move(header)) {}

    // Appends raw text and returns where it starts.
    size_t Raw(const std::string& s) {
        const size_t at = text_.size();
        text_ += s;
        return at;
    }
    // "number generation obj", the body, "endobj"; remembered for the next
    // cross-reference section.
    size_t Object(int number, int generation, const std::string& body) {
        const size_t at = Raw(std::to_string(number) + " " + std::to_string(generation) + " obj\n" + body + "endobj\n");
        objects_[number] = {at, generation};
        return at;
    }

    // One entry, 20 bytes: in use ('n') or free ('f').
    static std::string Entry(size_t offset, int generation, char use) {
        char e[32];
        std::snprintf(e, sizeof e, "%010zu %05d %c\r\n", offset, generation, use);
        return e;
    }
    std::string InUse(int number) const {
        const auto& o = objects_.at(number);
        return Entry(o.first, o.second, 'n');
    }

    // A subsection header and its entries: objects written so far are in
    // use, others free.
    std::string Subsection(int first, int count) const {
        std::string s = std::to_string(first) + " " + std::to_string(count) + "\n";
        for (int n = first; n < first + count; ++n) s += objects_.count(n) ? InUse(n) : Entry(0, 65535, 'f');
        return s;
    }
    // A section of one subsection [first, first + count). `keyword` and
    // `trailer` allow other spellings; `keys` are the trailer's lines between
    // "<<" and ">>".
    size_t Section(int first, int count, const std::string& keys, const std::string& keyword = "xref",
                   const std::string& trailer = "trailer") {
        return Raw(keyword + "\n" + Subsection(first, count) + trailer + "\n<<\n" + keys + ">>\n");
    }

    std::string Finish(size_t startxref, const std::string& keyword = "startxref") {
        return text_ + keyword + "\n" + std::to_string(startxref) + "\n%%EOF\n";
    }
    std::string& text() { return text_; }

private:
    std::string text_;
    std::map<int, std::pair<size_t, int>> objects_;
};

inline std::string Catalog(const std::string& type = "/Catalog", int pages = 2) {
    return "<<\n/Type " + type + "\n/Pages " + std::to_string(pages) + " 0 R\n>>\n";
}
inline std::string PageTree(const std::string& countLine, const std::string& type = "/Pages") {
    return "<<\n/Type " + type + "\n/Kids [3 0 R]\n" + countLine + ">>\n";
}
inline std::string Page() { return "<<\n/Type /Page\n/Parent 2 0 R\n>>\n"; }

// Catalog 1, page tree 2 and page 3, before any cross-reference section.
inline PdfFile ThreeObjects(const std::string& catalog = Catalog(), const std::string& tree = PageTree("/Count 12\n")) {
    PdfFile f;
    f.Object(1, 0, catalog);
    f.Object(2, 0, tree);
    f.Object(3, 0, Page());
    return f;
}

// A single-revision file; its page tree root declares 12 pages by default.
inline std::string SimplePdf(const std::string& catalog = Catalog(), const std::string& tree = PageTree("/Count 12\n"),
                             const std::string& trailerKeys = "/Size 4\n/Root 1 0 R\n") {
    PdfFile f = ThreeObjects(catalog, tree);
    const size_t xref = f.Section(0, 4, trailerKeys);
    return f.Finish(xref);
}

}  // namespace pdftest
