#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "casefile.h"
#include "pspdf/pdfread.h"
#include "testutil.h"

using namespace qmtest;

namespace {

// A classic PDF file: objects written one key per line, cross-reference
// sections of 20-byte entries at the offsets written.
class PdfFile {
public:
    std::string text = "%PDF-1.4\n";

    // Appends `s` and returns where it starts.
    size_t Raw(const std::string& s) {
        text += s;
        return text.size() - s.size();
    }
    size_t Object(int number, const std::string& body) {
        objects_[number] = text.size();
        return Raw(std::to_string(number) + " 0 obj\n" + body + "endobj\n");
    }
    static std::string Entry(size_t offset, int generation, char use) {
        char e[32];
        std::snprintf(e, sizeof e, "%010zu %05d %c\r\n", offset, generation, use);
        return e;
    }
    std::string InUse(int number) const { return Entry(objects_.at(number), 0, 'n'); }
    // "first count" and its entries: objects written so far in use, others free.
    std::string Subsection(int first, int count) const {
        std::string s = std::to_string(first) + " " + std::to_string(count) + "\n";
        for (int n = first; n < first + count; ++n) s += objects_.count(n) ? InUse(n) : Entry(0, 65535, 'f');
        return s;
    }
    // A section of one subsection; `keys` are the trailer's lines.
    size_t Section(int first, int count, const std::string& keys, const std::string& keyword = "xref",
                   const std::string& trailer = "trailer") {
        return Raw(keyword + "\n" + Subsection(first, count) + trailer + "\n<<\n" + keys + ">>\n");
    }
    std::string Finish(size_t startxref, const std::string& keyword = "startxref") const {
        return text + keyword + "\n" + std::to_string(startxref) + "\n%%EOF\n";
    }

private:
    std::map<int, size_t> objects_;
};

std::string Catalog(const std::string& type = "/Catalog", int pages = 2) {
    return "<<\n/Type " + type + "\n/Pages " + std::to_string(pages) + " 0 R\n>>\n";
}
std::string Tree(const std::string& countLine, const std::string& type = "/Pages") {
    return "<<\n/Type " + type + "\n/Kids [3 0 R]\n" + countLine + ">>\n";
}

const std::string kPage = "<<\n/Type /Page\n/Parent 2 0 R\n>>\n";

// Catalog 1, page tree 2 (12 pages by default) and page 3.
PdfFile ThreeObjects(const std::string& catalog = Catalog(), const std::string& tree = Tree("/Count 12\n")) {
    PdfFile f;
    f.Object(1, catalog);
    f.Object(2, tree);
    f.Object(3, kPage);
    return f;
}
// The three objects in a single revision.
std::string Simple(const std::string& catalog = Catalog(), const std::string& tree = Tree("/Count 12\n"),
                   const std::string& trailerKeys = "/Size 4\n/Root 1 0 R\n") {
    PdfFile f = ThreeObjects(catalog, tree);
    return f.Finish(f.Section(0, 4, trailerKeys));
}

std::string LastError() {
    char text[qm::kPdfErrorTextSize];
    pdfreadLastError(text, sizeof text);
    return text;
}

// Counts a file through the exported entry point.
PageCountResult CountPdf(const std::string& bytes) {
    TempJob job(bytes, "job.pdf");
    PageCountResult rec = MarkedRecord();
    EXPECT_EQ(GetTotalPageCount_PDF(job.path(), &rec), QM_OK);
    return rec;
}

// Three revisions: object 2 (the page tree) changes twice, object 4 is added
// in the second; objects 1 and 3 are only in the oldest section.
struct ThreeRevisions {
    PdfFile f;
    int32_t catalog1 = 0, page4 = 0, tree3 = 0, xref1 = 0, xref2 = 0, xref3 = 0;
    std::string bytes;
    ThreeRevisions() {
        catalog1 = f.Object(1, Catalog());
        f.Object(2, Tree("/Count 1\n"));
        f.Object(3, kPage);
        xref1 = f.Section(0, 4, "/Size 4\n");  // older trailers are not asked for "/Root"
        f.Object(2, Tree("/Count 2\n"));
        page4 = f.Object(4, kPage);
        xref2 = f.Section(2, 3, "/Size 5\n/Prev " + std::to_string(xref1) + "\n/Root 9 0 R\n");
        tree3 = f.Object(2, Tree("/Count 3\n"));
        xref3 = f.Section(2, 1, "/Size 5\n/Root 1 0 R\n/Prev " + std::to_string(xref2) + "\n");
        bytes = f.Finish(xref3);
    }
};

TEST(PdfReader, WalksThreeSectionsNewestFirst) {
    ThreeRevisions rev;
    TempJob job(rev.bytes, "job.pdf");
    ASSERT_EQ(qm::pdfreadOpen(job.path()), 1) << LastError();
    const qm::PdfReaderState& r = qm::pdfreadState();
    ASSERT_EQ(r.sections.size(), 3);
    const qm::XrefSection* s = r.sections.head();
    const int32_t want[3][4] = {  // first, count, entries (after "xref\nF C\n"), prev
        {2, 1, rev.xref3 + 9, rev.xref2}, {2, 3, rev.xref2 + 9, rev.xref1}, {0, 4, rev.xref1 + 9, 0}};
    for (const auto& w : want) {
        EXPECT_EQ(s->first, w[0]);
        EXPECT_EQ(s->count, w[1]);
        EXPECT_EQ(s->entries, w[2]);
        EXPECT_EQ(s->prev, w[3]);
        s = s->next;
    }
    EXPECT_EQ(r.rootNumber, 1);  // from the newest trailer

    // Changed objects come from the newest section that has them, the others from the oldest.
    const std::pair<int, int32_t> lookups[] = {{2, rev.tree3}, {4, rev.page4}, {1, rev.catalog1}, {7, -1}};
    for (const auto& [number, offset] : lookups) {  // -1: not found
        int32_t at = -1;
        EXPECT_EQ(qm::pdfreadFindObject(number, 0, &at), offset >= 0 ? 1 : 0) << number;
        EXPECT_EQ(at, offset) << number;
    }
    qm::pdfreadClose();
    EXPECT_EQ(qm::pdfreadState().stream, nullptr);
    EXPECT_EQ(qm::pdfreadState().sections.head(), nullptr);

    EXPECT_EQ(CountPdf(rev.bytes).pages, 3u);
}

TEST(Pdf, CountsWhatTheRootDeclares) {
    PdfFile upper = ThreeObjects();
    const std::string upperCase = upper.Finish(upper.Section(0, 4, "/Size 4\n/ROOT 1 0 r\n", "XREF", "Trailer"),
                                               "StartXRef");
    // The oldest section has the page tree with 5 pages; a newer copy with 6
    // stands at `tree`, and the newest section's entry for object 2 varies.
    PdfFile base = ThreeObjects(Catalog(), Tree("/Count 5\n"));
    const size_t xref1 = base.Section(0, 4, "/Size 4\n");
    const size_t tree = base.Object(2, Tree("/Count 6\n"));
    auto updated = [&](const std::string& entry) {
        PdfFile f = base;
        return f.Finish(f.Raw("xref\n2 1\n" + entry + "trailer\n<<\n/Root 1 0 R\n/Prev " + std::to_string(xref1) +
                              "\n>>\n"));
    };
    const std::tuple<const char*, std::string, uint32_t> cases[] = {
        {"one revision", Simple(), 12},
        {"keywords in other capitalisation", upperCase, 12},
        {"sign of the count is dropped", Simple(Catalog(), Tree("/Count -7\n")), 7},
        {"trailing bytes after %%EOF", Simple() + std::string(900, ' '), 12},
        {"newer entry in use", updated(PdfFile::Entry(tree, 0, 'n')), 6},
        {"newer entry in use, upper case", updated(PdfFile::Entry(tree, 0, 'N')), 6},
        {"newer entry free", updated(PdfFile::Entry(tree, 0, 'f')), 5},
        {"newer entry of another generation", updated(PdfFile::Entry(tree, 1, 'n')), 5},
        {"newer entry unparsable", updated("abcdefghij klmno n\r\n"), 5},
    };
    for (const auto& [name, bytes, pages] : cases) {
        const PageCountResult rec = CountPdf(bytes);
        PageCountResult want;
        std::memset(&want, 0, sizeof want);
        want.pages = pages;
        EXPECT_EQ(std::memcmp(&rec, &want, sizeof rec), 0) << name << ": pages " << rec.pages << ", " << LastError();
    }
}

// Sections whose "/Prev" point at each other by index (-1: none, a key of
// the same length instead); section 0 is the newest.
std::string Chain(const std::vector<int>& prevOf) {
    PdfFile f = ThreeObjects(), probe = f;
    probe.Section(0, 4, "/Root 1 0 R\n/Prev 0000000000\n");
    const size_t first = f.text.size(), length = probe.text.size() - first;
    for (int prev : prevOf) {
        char keys[64];
        std::snprintf(keys, sizeof keys, "/Root 1 0 R\n/%s %010zu\n", prev < 0 ? "Xrev" : "Prev",
                      first + static_cast<size_t>(std::max(prev, 0)) * length);
        f.Section(0, 4, keys);
    }
    return f.Finish(first);
}

const std::string kTrailer = "trailer\n<<\n/Root 1 0 R\n>>\n";

// The three objects, then "xref" and `section` as the newest section; "#"
// in it stands for the subsection of the three objects.
std::string Custom(std::string section) {
    PdfFile f = ThreeObjects();
    const size_t mark = section.find('#');
    if (mark != std::string::npos) section.replace(mark, 1, f.Subsection(0, 4));
    return f.Finish(f.Raw("xref\n" + section));
}

// A file of one revision with one part changed as row `r` says (see pdf_failures.tsv), or the whole file.
std::string FileOf(const CaseRow& r) {
    const std::string part = r.text("part"), text = r.bytes("text");
    if (part == "catalog") return Simple(text);
    if (part == "tree") return Simple(Catalog(), text);
    if (part == "trailer") return Simple(Catalog(), Tree("/Count 1\n"), text);
    if (part == "section") return Custom(text);
    if (part == "tail") return Simple() + text;
    EXPECT_EQ(part, "file") << r.name();
    return text;
}

// A failed count reports all pages and no copies, the reason in the last error text, and closes the file.
void ExpectFailure(const std::string& name, const std::string& bytes, const std::string& error) {
    qm::pdfreadSetError("");
    const PageCountResult rec = CountPdf(bytes);
    EXPECT_EQ(rec.pages, 0xFFFFFFFFu) << name;
    EXPECT_EQ(rec.copies, 0u) << name;
    EXPECT_EQ(LastError(), error) << name;
    EXPECT_EQ(qm::pdfreadState().stream, nullptr) << name;
    EXPECT_EQ(qm::pdfreadState().sections.head(), nullptr) << name;
}

TEST(Pdf, FailuresReportAllPagesAndTheirReason) {
    PdfFile swapped = ThreeObjects();
    const std::string swappedEntries =
        PdfFile::Entry(0, 65535, 'f') + swapped.InUse(3) + swapped.InUse(2) + swapped.InUse(1);
    const std::string swappedFile = swapped.Finish(swapped.Raw("xref\n0 4\n" + swappedEntries + kTrailer));
    for (const CaseRow& r : ReadCases("pspdf/cases/pdf_failures.tsv"))
        ExpectFailure(r.name(), FileOf(r), r.text("error"));
    ExpectFailure("entry points at another object", swappedFile, "obj not at expected offset");
    ExpectFailure("/Prev to itself", Chain({0}), "invalid format");
    ExpectFailure("/Prev loop of two", Chain({1, 0}), "invalid format");
    ExpectFailure("/Prev loop behind the newest", Chain({1, 2, 3, 1}), "invalid format");
    EXPECT_EQ(CountPdf(Chain({1, 2, -1})).pages, 12u) << "a chain that ends";
    EXPECT_EQ(CountPdf(Custom("#trailer\na\nb\nc\n<<\n/Root 1 0 R\n>>\n")).pages, 12u) << "<< on the fourth line";
}

TEST(Pdf, MissingFilesAndTheLastErrorText) {
    PageCountResult rec = MarkedRecord();
    ASSERT_EQ(GetTotalPageCount_PDF("/nonexistent/quirometer/job.pdf", &rec), QM_OK);
    EXPECT_EQ(rec.pages, 0xFFFFFFFFu);
    EXPECT_EQ(LastError(), "can't open");
    rec = MarkedRecord();
    ASSERT_EQ(GetTotalPageCount_PDF(nullptr, &rec), QM_OK);
    EXPECT_EQ(rec.pages, 0xFFFFFFFFu);
    EXPECT_EQ(GetTotalPageCount_PDF("/nonexistent", nullptr), QM_E_POINTER);

    // A later successful count leaves the failure's text in place.
    CountPdf("%PDF-1.4\nno cross-reference here\n");
    EXPECT_EQ(CountPdf(Simple()).pages, 12u);
    EXPECT_EQ(LastError(), "invalid format");

    for (const CaseRow& r : ReadCases("pspdf/cases/pdf_error_buffer.tsv")) {
        char buffer[128] = "zzzz";
        pdfreadLastError(buffer, int(r.num("size")));
        EXPECT_EQ(std::string(buffer), r.text("text")) << r.name();
    }
    pdfreadLastError(nullptr, 10);
}

TEST(Pdf, CutsOfAnUpdatedFileEndCleanly) {
    const std::string bytes = ThreeRevisions().bytes;
    TempJob job("", "job.pdf");
    // Every byte of the tail (the newest trailer and "startxref"), a sample
    // of the rest: rewriting the file is the slow part.
    for (size_t n = 0; n <= bytes.size(); n += (n + 80 < bytes.size() ? 7 : 1)) {
        std::FILE* f = std::fopen(job.path(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, n, f);
        std::fclose(f);
        qm::pdfreadSetError("");
        PageCountResult rec = MarkedRecord();
        ASSERT_EQ(GetTotalPageCount_PDF(job.path(), &rec), QM_OK);
        EXPECT_TRUE(rec.pages == 3u || rec.pages == 0xFFFFFFFFu) << n;
        if (rec.pages != 3u) {
            EXPECT_NE(LastError(), "") << n;
        }
        EXPECT_EQ(qm::pdfreadState().stream, nullptr) << n;
    }
}

// The line reader over a stream left open by a failed open.
TEST(PdfReader, LinesNumbersAndPrefixes) {
    const std::string text = "\r\n\r\nabc\r\n\r\n" + std::string(1500, 'a') + "\nb";
    TempJob job(text);
    qm::pdfreadOpen(job.path());
    std::FILE* f = qm::pdfreadState().stream;
    ASSERT_NE(f, nullptr);
    char line[qm::kPdfLineCapacity];
    std::fseek(f, 0, SEEK_SET);
    ASSERT_EQ(qm::pdfreadReadLine(line, sizeof line), 1);
    EXPECT_STREQ(line, "abc");
    int32_t at = 0;
    qm::pdfreadSkipLineBreaks(&at);
    EXPECT_EQ(at, 11);
    const size_t pieces[] = {1023, 477, 1};
    for (size_t len : pieces) {
        ASSERT_EQ(qm::pdfreadReadLine(line, sizeof line), 1);
        EXPECT_EQ(std::strlen(line), len);
    }
    EXPECT_EQ(qm::pdfreadReadLine(line, sizeof line), 0);
    EXPECT_EQ(LastError(), "unexpected end of file");
    qm::pdfreadSkipLineBreaks(&at);
    EXPECT_EQ(at, static_cast<int32_t>(text.size() - 1));  // the last byte
    qm::pdfreadClose();

    for (const CaseRow& r : ReadCases("pspdf/cases/pdf_numbers.tsv")) {
        const std::string input = r.bytes("text");
        int32_t got = -1;
        const char* end = nullptr;
        EXPECT_EQ(qm::pdfreadParseNumber(input.c_str(), &got, &end), Yes(r, "parsed")) << r.name();
        EXPECT_EQ(got, int32_t(r.num("value"))) << r.name();
        EXPECT_EQ(static_cast<size_t>(end - input.c_str()), size_t(r.num("read"))) << r.name();
    }
    for (const CaseRow& r : ReadCases("pspdf/cases/pdf_prefixes.tsv"))
        EXPECT_EQ(qm::pdfreadHasPrefix(r.bytes("line").c_str(), r.bytes("key").c_str()), Yes(r, "match")) << r.name();
}

}  // namespace
