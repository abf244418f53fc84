// The accurate PDF count on files built here.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>


#include "accurate/accurate.h"
#include "casefile.h"
#include "testdeflate.h"
#include "testjpeg.h"
#include "pspdf/pdf_accurate.h"
#include "pspdf/pdf_accurate_document.h"

namespace {

using qm::accurate::Result;
using qmtest::CaseRow;
using qmtest::Deflate;
using qmtest::ReadCases;
using qmtest::Yes;
using qm::pdf::Kind;
using qm::pdf::Parser;
using Objects = std::vector<std::pair<int, std::string>>;

std::string Stream(const std::string& dict, const std::string& data) {
    return "<<" + dict + " /Length " + std::to_string(data.size()) + ">>\nstream\n" + data + "\nendstream";
}

// A PDF written object by object, closed by a classic table or a cross-reference stream; trailers name catalog 1.
struct Pdf {
    std::string text = "%PDF-1.7\n";
    std::map<int, size_t> at;

    Pdf& obj(int n, const std::string& body) {
        at[n] = text.size();
        text += std::to_string(n) + " 0 obj\n" + body + "\nendobj\n";
        return *this;
    }
    Pdf& objs(const Objects& objects) {
        for (const auto& [n, body] : objects) obj(n, body);
        return *this;
    }
    // A table of the objects `numbers` (all written so far when empty).
    std::string table(const std::string& trailer = "", std::vector<int> numbers = {}) {
        if (numbers.empty()) {
            for (const auto& [n, off] : at) numbers.push_back(n);
        }
        const size_t xref = text.size();
        text += "xref\n0 1\n0000000000 65535 f \n";
        for (int n : numbers) {
            char e[40];
            std::snprintf(e, sizeof e, "%d 1\n%010zu 00000 n \n", n, at[n]);
            text += e;
        }
        text += "trailer\n<< /Root 1 0 R" + trailer + ">>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return text;
    }
    // A cross-reference stream, object `self` numbered above all others,
    // W [1 4 2]; `packed` lists the objects inside object stream `objstm`.
    std::string xrefStream(int self, const std::string& trailer, int objstm = 0, std::vector<int> packed = {}) {
        at[self] = text.size();
        std::string rows;
        for (int n = 0; n <= self; ++n) {
            const size_t index = std::find(packed.begin(), packed.end(), n) - packed.begin();
            const uint32_t field = index < packed.size() ? objstm : at.count(n) ? at[n] : 0;
            rows += static_cast<char>(index < packed.size() ? 2 : at.count(n) ? 1 : 0);
            for (int shift = 24; shift >= 0; shift -= 8) rows += static_cast<char>(field >> shift);
            rows += {'\0', static_cast<char>(index < packed.size() ? index : 0)};
        }
        const std::string keys = " /Size " + std::to_string(self + 1) + " /W [1 4 2] /Filter /FlateDecode /Root 1 0 R";
        obj(self, Stream("/Type /XRef" + keys + trailer, Deflate(rows)));
        text += "startxref\n" + std::to_string(at[self]) + "\n%%EOF\n";
        return text;
    }
};

// An object stream holding `objects` (number, body).
std::string ObjStm(const Objects& objects) {
    std::string head, body;
    for (const auto& [n, b] : objects) {
        head += std::to_string(n) + " " + std::to_string(body.size()) + " ";
        body += b + "\n";
    }
    return Stream("/Type /ObjStm /N " + std::to_string(objects.size()) + " /First " + std::to_string(head.size()) +
                      " /Filter /FlateDecode",
                  Deflate(head + body));
}

struct Counted {
    int32_t code;
    Result r;
};
Counted Count(const std::string& pdf) {
    Counted c{};
    c.code = qm::accurate::AccuratePDF(qmtest::Guarded(pdf).bytes(), c.r);
    if (c.code == QM_OK) qm::accurate::Finish(c.r);
    return c;
}

// The count of `file` succeeds with `pages`, counted or estimated.
void ExpectPages(const std::string& what, const std::string& file, uint32_t pages, bool estimated) {
    const Counted r = Count(file);
    ASSERT_EQ(r.code, QM_OK) << what;
    EXPECT_EQ(r.r.rec.pages, pages) << what;
    EXPECT_EQ(r.r.estimated, estimated) << what;
    EXPECT_EQ(r.r.rec.color, 0u) << what << ": pages that draw nothing, or none, are mono";
}

// Catalog 1 (with `extra` keys), whose tree is object 2.
Pdf Catalog(const std::string& extra = "") {
    return Pdf().obj(1, "<< /Type /Catalog /Pages 2 0 R " + extra + ">>");
}

// Tree 2 with `n` letter pages 3.. that share the empty content stream 3 + n.
Pdf Simple(int n, const std::string& catalogExtra = "", const std::string& pageExtra = "") {
    Pdf p = Catalog(catalogExtra);
    std::string kids;
    for (int i = 0; i < n; ++i) kids += std::to_string(3 + i) + " 0 R ";
    p.obj(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(n) + " /MediaBox [0 0 612 792] >>");
    for (int i = 0; i < n; ++i)
        p.obj(3 + i, "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(3 + n) + " 0 R " + pageExtra + ">>");
    return p.obj(3 + n, Stream("", ""));
}

TEST(AccuratePdf, PageTreeShapes) {
    for (const CaseRow& c : ReadCases("pspdf/cases/pdf_tree.tsv")) {
        Objects objects;
        std::istringstream lines(c.bytes("objects"));
        for (std::string line; std::getline(lines, line);)
            objects.push_back({std::stoi(line), line.substr(line.find(' ') + 1)});
        ExpectPages(c.name(), Catalog().objs(objects).table(), uint32_t(c.num("pages")), Yes(c, "estimated"));
    }
}

TEST(AccuratePdf, PaperOfTheFirstPage) {
    for (const CaseRow& c : ReadCases("pspdf/cases/pdf_paper.tsv")) {
        Pdf p = Catalog();
        p.obj(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 " + c.bytes("tree") + ">>");
        p.obj(3, "<< /Type /Page " + c.bytes("page") + ">>");
        const Counted r = Count(p.obj(4, "<< /Type /Page /MediaBox [0 0 100 100] >>").table());
        ASSERT_EQ(r.code, QM_OK) << c.name();
        EXPECT_NEAR(r.r.rec.paperWidth, c.num("width"), 0.01) << c.name();
        EXPECT_NEAR(r.r.rec.paperLength, c.num("length"), 0.01) << c.name();
        EXPECT_EQ((r.r.unknown & QM_FIELD_PAPER) != 0, c.num("width") == 0) << c.name();
    }
}

TEST(AccuratePdf, ViewerPreferences) {
    for (const CaseRow& c : ReadCases("pspdf/cases/pdf_viewer.tsv")) {
        const std::string catalog = c.bytes("catalog");
        const Counted r = Count(Simple(1, catalog).obj(9, "<< /NumCopies 2 /Duplex /DuplexFlipShortEdge >>").table());
        ASSERT_EQ(r.code, QM_OK) << c.name();
        EXPECT_EQ(r.r.rec.copies, uint32_t(c.num("copies"))) << c.name();
        EXPECT_EQ(r.r.rec.duplex, uint8_t(c.num("duplex"))) << c.name();
        EXPECT_EQ((r.r.unknown & QM_FIELD_DUPLEX) == 0, Yes(c, "known")) << c.name();
    }
}

TEST(AccuratePdf, CrossReferenceStreamsObjectStreamsAndUpdates) {
    // Every page in an object stream, found through a cross-reference stream.
    Pdf p = Catalog();
    p.obj(10, ObjStm({{2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 612 792] >>"},
                      {3, "<< /Type /Page /Parent 2 0 R >>"},
                      {4, "<< /Type /Page /Parent 2 0 R >>"}}));
    const std::string modern = p.xrefStream(11, "", 10, {2, 3, 4});
    ExpectPages("modern", modern, 2, false);
    EXPECT_NEAR(Count(modern).r.rec.paperWidth, 8.5, 0.01);

    // A hybrid file: the table leaves the packed objects out; its trailer's /XRefStm finds them.
    Pdf h = Catalog();
    h.obj(10, ObjStm({{2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>"},
                      {3, "<< /Type /Page >>"}, {4, "<< /Type /Page >>"}, {5, "<< /Type /Page >>"}}));
    const std::string hidden = h.xrefStream(11, "", 10, {2, 3, 4, 5});
    h.text = hidden.substr(0, hidden.rfind("startxref"));
    ExpectPages("hybrid", h.table(" /XRefStm " + std::to_string(h.at[11]), {1, 10}), 3, false);

    // An update takes page 4 out of the tree; its object stays in the file.
    Pdf u = Simple(3);
    const size_t first = u.text.size();
    u.table();
    u.obj(2, "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 /MediaBox [0 0 612 792] >>");
    ExpectPages("update", u.table(" /Prev " + std::to_string(first), {2}), 2, false);

    // An /Index that ends before page 7's row: the rows past its count are not read.
    Pdf x = Catalog();
    x.obj(5, ObjStm({{2, "<< /Type /Pages /Kids [3 0 R 7 0 R] /Count 2 >>"}, {3, "<< /Type /Page >>"}, {7, "<< /Type /Page >>"}}));
    ExpectPages("index", x.xrefStream(11, " /Index [0 6]", 5, {2, 3, 7}), 1, true);

    // An /XRefStm at the file's very end names no stream: the table alone is read.
    std::string end = Simple(2).table(" /XRefStm 000000");
    const std::string size = std::to_string(end.size());
    end.replace(end.rfind("000000"), 6, std::string(6 - size.size(), '0') + size);
    ExpectPages("XRefStm at the end", end, 2, false);
}

TEST(AccuratePdf, WrappersAndJunk) {
    const std::string pdf = Simple(2).table();
    const std::string uel = "\x1b%-12345X";
    const std::string cases[] = {
        uel + "@PJL JOB\r\n@PJL ENTER LANGUAGE=PDF\r\n" + pdf + uel + "@PJL EOJ\r\n" + uel,
        "100%" + std::string(296, 'j') + "\n" + pdf,  // offsets count from the header
        pdf + std::string(5000, '\0') + "junk after the end",
    };
    const qm::accurate::Language& language = *qm::accurate::FindLanguage("PDF");
    for (const std::string& c : cases) {
        ExpectPages(c.substr(0, 20), c, 2, false);
        EXPECT_GT(qm::accurate::BidOf(language, qm::Bytes(c)), qm::accurate::kNoBid) << c.substr(0, 20);
    }
    // The header must stand near the start of the job.
    EXPECT_EQ(Count(std::string(5000, 'x') + pdf).code, QM_E_NOT_UNDERSTOOD);
    EXPECT_EQ(qm::accurate::BidOf(language, qm::Bytes(std::string(5000, 'x') + pdf)), qm::accurate::kNoBid);
}

TEST(AccuratePdf, RepairsBrokenCrossReferenceData) {
    const std::string good = Simple(3).table();
    std::string shifted = good;
    shifted.insert(good.find("1 0 obj"), std::string(37, ' '));
    // Objects in an object stream and no cross-reference data at all; then
    // a later definition of the tree that wins over the packed one.
    Pdf packed = Catalog();
    packed.obj(10, ObjStm({{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"}, {3, "<< /Type /Page >>"}}));
    Pdf later = packed;
    later.obj(2, "<< /Type /Pages /Kids [3 0 R 3 0 R 11 0 R] /Count 2 >>").obj(11, "<< /Type /Page >>");
    const std::pair<std::string, uint32_t> cases[] = {
        {good.substr(0, good.rfind("xref\n0 1")), 3},                           // no table
        {shifted, 3},
        {good.substr(0, good.rfind("startxref")) + "startxref\n12\n%%EOF\n", 3},  // pointing nowhere
        {packed.text, 1},
        {later.text, 2},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        ExpectPages("repair " + std::to_string(i), cases[i].first, cases[i].second, true);
    // Objects cut short inside a string, each read to the file's end: the work of 33 stays within the budget (16
    // times the file and 1 MiB), that of 34 does not, and the catalog after them is then not read.
    for (const int broken : {33, 34}) {
        std::string file = Simple(1).text, cut;
        for (int k = 0; k < broken; ++k) {
            const std::string head = std::to_string(k + 10) + " 0 obj (";
            cut += head + std::string(30000 - head.size(), ' ');
        }
        const Counted r = Count(file.insert(9, cut));
        EXPECT_EQ(r.code, broken == 33 ? QM_OK : QM_E_NOT_UNDERSTOOD) << broken;
        EXPECT_EQ(r.r.rec.pages, broken == 33 ? 1u : 0u) << broken;
    }
}

TEST(AccuratePdf, WholeFiles) { qmtest::ExpectAccurateCases(qm::accurate::AccuratePDF, "pspdf/cases/pdf_files.tsv"); }

TEST(AccuratePdf, UnrepairableFilesGetNoCount) {
    for (const CaseRow& c : ReadCases("pspdf/cases/pdf_unrepairable.tsv"))
        EXPECT_EQ(Count(c.bytes("file")).code, QM_E_NOT_UNDERSTOOD) << c.name();
    for (const int levels : {64, 65}) {  // a tree as deep as the walk goes, and one level deeper
        Pdf deep = Catalog();
        for (int n = 2; n < levels + 2; ++n) deep.obj(n, "<< /Type /Pages /Kids [" + std::to_string(n + 1) + " 0 R] >>");
        const int32_t code = Count(deep.obj(levels + 2, "<< /Type /Page >>").table()).code;
        EXPECT_EQ(code, levels == 64 ? QM_OK : QM_E_NOT_UNDERSTOOD) << levels;
    }
}

// An LZW stream of `data` that uses literal codes only (9 bits each, at most 250 bytes).
std::string Lzw(const std::string& data) {
    std::vector<int> codes = {256};
    for (unsigned char c : data) codes.push_back(c);
    codes.push_back(257);
    std::string out;
    uint32_t bits = 0, held = 0;
    for (int code : codes) {
        bits = (bits << 9) | static_cast<uint32_t>(code);
        for (held += 9; held >= 8; held -= 8) out += static_cast<char>(bits >> (held - 8));
    }
    if (held > 0) out += static_cast<char>(bits << (8 - held));
    return out;
}

TEST(AccuratePdf, ColourFromWhatThePagesDraw) {
    const std::string image = " /Subtype /Image /Width 2 /Height 1 /ColorSpace /DeviceRGB /BitsPerComponent 8";
    const std::string indexed = " /Subtype /Image /Width 2 /Height 1 /BitsPerComponent 8 /ColorSpace [/Indexed "
                                "/DeviceRGB 2 <000000808080FF0000>]";
    const std::string rgbJpeg = " /Subtype /Image /Width 32 /Height 32 /ColorSpace /DeviceRGB /BitsPerComponent 8";
    const std::string greyPhoto = Jpeg(32, 32, {30, 30, 30}), markedPhoto = Jpeg(32, 32, {200, 30, 30});
    for (const CaseRow& c : ReadCases("pspdf/cases/pdf_colour.tsv")) {
        Pdf p = Catalog();
        p.obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 612 792] >>");
        p.obj(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources <<" + c.bytes("resources") + ">> >>");
        p.obj(4, Stream(" /Filter /FlateDecode", Deflate(c.bytes("content"))));
        p.obj(20, Stream(" /N 3", "icc")).obj(26, Stream(" /N 4", "icc"));
        p.obj(21, "<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 0 0 1] /N 1 >>");
        p.obj(22, Stream(image, std::string("\x10\x10\x10\x80\x80\x80", 6)));
        p.obj(23, Stream(image, std::string("\x10\x10\x10\xff\x00\x00", 6)));
        p.obj(24, Stream(image + " /Filter /DCTDecode", "jpeg"));
        p.obj(27, Stream(indexed, std::string("\0\1", 2))).obj(28, Stream(indexed, std::string("\1\2", 2)));
        p.obj(38, Stream(indexed + " /Filter /DCTDecode", "jpeg"));
        p.obj(39, Stream(" /Subtype /Image /Width 2 /Height 1 /BitsPerComponent 8 /ColorSpace [/Indexed /DeviceRGB 1 "
                         "<000000808080>] /Filter /DCTDecode", "jpeg"));
        p.obj(29, Stream(image + " /Filter /RunLengthDecode", std::string("\xfb\x40\x80", 3)));
        p.obj(30, Stream(image + " /Filter /LZWDecode", Lzw(std::string("\x10\x10\x10\xff\x00\x00", 6))));
        p.obj(31, Stream(rgbJpeg + " /Filter [/DCTDecode]", greyPhoto));
        p.obj(32, Stream(rgbJpeg + " /Filter /DCTDecode", markedPhoto));
        p.obj(34, Stream(rgbJpeg + " /Filter /DCTDecode", Jpeg(32, 32, {100, 104, 102}, 100)));
        p.obj(35, Stream(rgbJpeg + " /Filter /DCTDecode", Jpeg(32, 32, {108, 100, 102}, 100)));
        p.obj(43, Stream(rgbJpeg + " /Filter /DCTDecode", Jpeg(1, 8, {200, 30, 30})));  // one red column
        p.obj(44, Stream(rgbJpeg + " /Filter /DCTDecode", Jpeg(32, 32, {110, 100, 160}, 100)));  // blue chroma only
        p.obj(40, Stream(rgbJpeg + " /Filter /DCTDecode", Jpeg(32, 32, {100, 106, 112}, 100, true)));
        p.obj(41, Stream(rgbJpeg + " /Filter /DCTDecode", Jpeg(32, 32, {100, 100, 160}, 100, true)));
        p.obj(42, Stream(rgbJpeg + " /Filter /DCTDecode", Jpeg(32, 32, {160, 100, 100}, 100, true)));
        const std::string sampled = " /FunctionType 0 /Domain [0 1] /Range [0 1 0 1 0 0.5] /BitsPerSample 8 /Size [2]";
        p.obj(36, Stream(sampled, std::string("\x10\x10\x20\x80\x80\xff", 6)));
        p.obj(37, Stream(sampled, std::string("\x10\x10\x20\x80\x80\x80", 6)));
        p.obj(33, Stream(" /FunctionType 4 /Domain [0 1] /Range [0 1 0 1 0 1]", "{ dup dup }"));
        const Counted r = Count(p.obj(25, Stream(" /Subtype /Form /BBox [0 0 1 1]", "1 0 0 RG 0 0 m 1 1 l S")).table());
        ASSERT_EQ(r.code, QM_OK) << c.name();
        EXPECT_EQ(r.r.rec.color, uint8_t(c.num("colour"))) << c.name();
        EXPECT_EQ((r.r.unknown & QM_FIELD_COLOR) != 0, Yes(c, "unknown")) << c.name();
    }
}

TEST(AccuratePdf, EachPageWithItsColourAndPaper) {
    // Page 4 draws the form page 2 drew (its verdict is kept), page 5 the same shared mono content as page 1,
    // page 7 the JPEG 2000 image page 6 drew; page 2 is A3 in a letter tree, page 3 letter turned a quarter.
    Pdf p = Catalog();
    p.obj(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R 7 0 R 13 0 R 15 0 R] /Count 7 /MediaBox [0 0 612 792] >>");
    const std::string form = " /Resources << /XObject << /F 10 0 R >> >> ";
    p.obj(3, "<< /Type /Page /Contents 8 0 R >>");
    p.obj(4, "<< /Type /Page /Contents 9 0 R /MediaBox [0 0 842 1191]" + form + ">>");
    p.obj(5, "<< /Type /Page /Contents 8 0 R /Rotate 90 >>");
    p.obj(6, "<< /Type /Page /Contents 9 0 R" + form + ">>");
    p.obj(7, "<< /Type /Page /Contents 11 0 R >>");
    const std::string drawsJ = "<< /Type /Page /Contents 12 0 R /Resources << /XObject << /J 14 0 R >> >> >>";
    p.obj(13, drawsJ).obj(15, drawsJ).obj(12, Stream("", "/J Do"));
    p.obj(8, Stream("", "0 g 0 0 10 10 re f")).obj(9, Stream("", "/F Do"));
    p.obj(10, Stream(" /Subtype /Form /BBox [0 0 1 1]", "0 0 1 rg 0 0 1 1 re f"));
    p.obj(11, Stream(" /Filter /JPXDecode", "no content")).obj(14, Stream(" /Subtype /Image /Filter /JPXDecode", ""));
    const Counted r = Count(p.table());
    ASSERT_EQ(r.code, QM_OK);
    struct Want {
        uint8_t color;
        double width, length;
    };
    const Want want[] = {{QM_PAGE_MONO, 8.5, 11},
                         {QM_PAGE_COLOR, 11.69, 16.54},
                         {QM_PAGE_MONO, 11, 8.5},
                         {QM_PAGE_COLOR, 8.5, 11},
                         {QM_PAGE_COLOR_UNKNOWN, 8.5, 11},
                         {QM_PAGE_COLOR_UNKNOWN, 8.5, 11},
                         {QM_PAGE_COLOR_UNKNOWN, 8.5, 11}};
    std::vector<qm::accurate::Page> pages;
    for (const auto& run : r.r.pages.Runs()) pages.insert(pages.end(), run.count, run.page);
    ASSERT_EQ(pages.size(), std::size(want));
    for (size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(pages[i].color, want[i].color) << "page " << i + 1;
        EXPECT_NEAR(pages[i].paperWidth, want[i].width, 0.01) << "page " << i + 1;
        EXPECT_NEAR(pages[i].paperLength, want[i].length, 0.01) << "page " << i + 1;
    }
    EXPECT_EQ(r.r.rec.color, 1);
    EXPECT_EQ(r.r.unknown & QM_FIELD_COLOR, 0u);  // a colour page settles the job
    EXPECT_NEAR(r.r.rec.paperWidth, 8.5, 0.01);   // the job's paper is the first page's
}

TEST(AccuratePdf, HostileFilesStayBounded) {
    // A tiny stream that inflates past every cap, and pages that parse their shared resources again and again past the
    // budget: the count stands, the colour is unknown.
    Pdf bomb = Catalog();
    bomb.obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>").obj(3, "<< /Type /Page /Contents 4 0 R >>");
    bomb.obj(4, Stream(" /Filter /FlateDecode", Deflate(std::string(80u << 20, ' '))));
    Pdf shared = Simple(200, "", "/Resources 300 0 R");
    shared.obj(300, "<< /Pad (" + std::string(200000, 'x') + ") >>");
    const std::pair<std::string, uint32_t> cases[] = {{bomb.table(), 1}, {shared.table(), 200}};
    for (const auto& [file, pages] : cases) {
        const Counted r = Count(file);
        ASSERT_EQ(r.code, QM_OK);
        EXPECT_EQ(r.r.rec.pages, pages);
        EXPECT_NE(r.r.unknown & QM_FIELD_COLOR, 0u);
    }

    // Nesting without end, /Prev naming its own section, lengths and counts far past the file.
    Pdf s = Simple(1);
    const std::string self = s.table(" /Prev " + std::to_string(s.text.size()));
    const std::string nested = "%PDF-1.7\n1 0 obj\n" + std::string(100000, '[') + "\nendobj\n";
    Pdf lie = Catalog();
    lie.obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 4000000000 >>").obj(3, "<< /Type /Page /Contents 4 0 R >>");
    lie.obj(4, "<< /Length 99999999999 >>\nstream\nabc\nendstream");
    lie.obj(5, Stream("/Type /ObjStm /N 2000000000 /First 1", "0"));
    EXPECT_EQ(Count(self).r.rec.pages, 1u);
    EXPECT_EQ(Count(nested).code, QM_E_NOT_UNDERSTOOD);
    ExpectPages("liar", lie.table(" /Size 4000000000"), 1, true);
}

TEST(AccuratePdf, PasswordProtectedFilesAreRefused) {
    // A standard security handler whose empty user password does not open it.
    Pdf p = Simple(1);
    p.obj(30, "<< /Filter /Standard /V 2 /R 3 /Length 128 /P -4 /O <" + std::string(64, 'A') + "> /U <" +
                  std::string(64, 'B') + "> >>");
    const std::string id = "<0123456789ABCDEF0123456789ABCDEF>";
    const std::string locked = p.table(" /Encrypt 30 0 R /ID [" + id + " " + id + "]");
    EXPECT_EQ(Count(locked).code, QM_E_ENCRYPTED);
    // Behind a PJL header the copy handed to the decryption is the file from its "%PDF" to the end.
    EXPECT_EQ(Count("\x1b%-12345X@PJL ENTER LANGUAGE=PDF\n" + locked).code, QM_E_ENCRYPTED);
}

TEST(AccuratePdfParser, Objects) {
    const std::vector<std::string> kinds = {"Null", "Bool", "Int", "Real", "Name", "String", "Array", "Dict", "Ref"};
    for (const CaseRow& c : ReadCases("pspdf/cases/pdf_objects.tsv")) {
        const std::string text = c.bytes("text");
        Parser p{qm::Bytes(text)};
        if (c.text("kind") == "broken") {
            EXPECT_THROW(p.object(), qm::pdf::Broken) << c.name();
            continue;
        }
        const qm::pdf::Value v = p.object();
        EXPECT_EQ(int(v.kind), std::find(kinds.begin(), kinds.end(), c.text("kind")) - kinds.begin()) << c.name();
        EXPECT_EQ(v.text, c.bytes("decoded")) << c.name();
        EXPECT_EQ(v.real, c.num("number")) << c.name();
        EXPECT_EQ(v.boolean, text == "true") << c.name();
    }
    const qm::pdf::Value dict = Parser(qm::Bytes("<< /A null /B 1 >>")).object();
    EXPECT_EQ(dict.size(), 1u) << "a null value is an absent key";
    EXPECT_EQ(dict.get("A"), nullptr);
}

// PNG rows encoded with each filter type, as a writer would.
std::string PngEncode(const std::string& data, size_t row, size_t bpp, int type) {
    std::string out, prior(row, '\0');
    for (size_t at = 0; at < data.size(); at += row) {
        const std::string cur = data.substr(at, row);
        out += static_cast<char>(type);
        for (size_t i = 0; i < row; ++i) {
            const int a = i >= bpp ? static_cast<uint8_t>(cur[i - bpp]) : 0, b = static_cast<uint8_t>(prior[i]),
                      c = i >= bpp ? static_cast<uint8_t>(prior[i - bpp]) : 0;
            const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
            const int predicted[] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : pb <= pc ? b : c};
            out += static_cast<char>(static_cast<uint8_t>(cur[i]) - predicted[type]);
        }
        prior = cur;
    }
    return out;
}

bool Decode(const std::string& dict, const std::string& data, std::string& out) {
    qm::pdf::Document doc(qm::Bytes(""), 0);
    qm::pdf::Object o;
    o.value = Parser(qm::Bytes("<<" + dict + ">>")).object();
    o.stream = true;
    o.data = qm::Bytes(data);
    return doc.decode(o, out);
}

TEST(AccuratePdfFilters, DecodeEveryFilter) {
    std::string rows, hex;
    for (int i = 0; i < 60; ++i) rows += static_cast<char>((i * 37 + i / 6) & 0xFF);  // 10 rows of 6 bytes
    std::string tiff = rows;  // each sample less the one a pixel (3 bytes) before it in its row
    for (size_t i = tiff.size(); i-- > 0;)
        if (i % 6 >= 3) tiff[i] = static_cast<char>(tiff[i] - tiff[i - 3]);
    for (unsigned char ch : Deflate("flate under hex")) {
        hex += "0123456789abcdef"[ch >> 4];
        hex += "0123456789abcdef"[ch & 15];
    }
    std::vector<std::array<std::string, 3>> cases = {  // dictionary, data, decoded
        {"/Filter [/AHx /FlateDecode]", hex + ">", "flate under hex"},
        {"/Filter /FlateDecode /DecodeParms << /Predictor 2 /Colors 3 /Columns 2 >>", Deflate(tiff), rows},
    };
    for (int type = 0; type <= 4; ++type) {
        cases.push_back({"/Filter /FlateDecode /DecodeParms << /Predictor 12 /Colors 2 /Columns 3 >>",
                         Deflate(PngEncode(rows, 6, 2, type)), rows});
    }
    for (const auto& [dict, data, decoded] : cases) {
        std::string out;
        ASSERT_TRUE(Decode(dict, data, out)) << dict;
        EXPECT_EQ(out, decoded) << dict;
    }
    for (const CaseRow& c : ReadCases("pspdf/cases/pdf_filters.tsv")) {
        std::string out;
        ASSERT_EQ(Decode(c.bytes("dictionary"), c.bytes("data"), out), Yes(c, "decodes")) << c.name();
        if (Yes(c, "decodes")) {
            EXPECT_EQ(out, c.bytes("decoded")) << c.name();
        }
    }
}

TEST(AccuratePdf, LongDocumentsAndTheCountWithoutColour) {
    // 10,000 pages, every one with its own content.
    Pdf p = Catalog();
    std::string kids;
    for (int n = 10; n < 20010; n += 2) {
        kids += std::to_string(n) + " 0 R ";
        p.obj(n, "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(n + 1) + " 0 R >>");
        p.obj(n + 1, Stream("", "0.5 g 0 0 10 10 re f"));
    }
    const std::string pdf = p.obj(2, "<< /Type /Pages /Kids [" + kids + "] /Count 10000 >>").table();
    const Counted whole = Count(pdf);
    ASSERT_EQ(whole.code, QM_OK);
    EXPECT_EQ(whole.r.rec.pages, 10000u);
    EXPECT_EQ(whole.r.rec.color, 0);
    EXPECT_EQ(whole.r.unknown & QM_FIELD_COLOR, 0u);
    Result structure;
    ASSERT_EQ(qm::pdf::Count(qmtest::Guarded(pdf).bytes(), structure, qm::pdf::Colour::Skip), QM_OK);
    EXPECT_EQ(structure.rec.pages, 10000u);
    EXPECT_EQ(structure.rec.color, 1) << "not read: never reported mono";
    EXPECT_NE(structure.unknown & QM_FIELD_COLOR, 0u);
    Result one;  // a single page not read is no more mono than ten thousand
    ASSERT_EQ(qm::pdf::Count(qmtest::Guarded(Simple(1).table()).bytes(), one, qm::pdf::Colour::Skip), QM_OK);
    EXPECT_EQ(one.rec.color, 1);
    EXPECT_NE(one.unknown & QM_FIELD_COLOR, 0u);
}

}  // namespace
