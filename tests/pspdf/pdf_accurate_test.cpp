// The accurate PDF count on files built here: structures of the cross-
// reference data, page trees, paper, preferences, colour, repair and files
// built to hurt.
#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <string>
#include <vector>

#include "accurate/accurate.h"
#include "pspdf/pdf_accurate.h"
#include "pspdf/pdf_accurate_document.h"

namespace {

using qm::pdf::Kind;
using qm::pdf::Parser;
using qm::pdf::Value;

using qm::accurate::AccuratePDF;
using qm::accurate::Result;

std::string Deflate(const std::string& in) {
    uLongf n = compressBound(static_cast<uLong>(in.size()));
    std::string out(n, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(in.data()),
             static_cast<uLong>(in.size()));
    out.resize(n);
    return out;
}

std::string Stream(const std::string& dict, const std::string& data) {
    return "<<" + dict + " /Length " + std::to_string(data.size()) + ">>\nstream\n" + data + "\nendstream";
}

// A PDF written object by object, closed by a classic table, a cross-
// reference stream or nothing.
struct Pdf {
    std::string text = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
    std::map<int, size_t> at;
    size_t lastXref = 0;

    Pdf& obj(int n, const std::string& body) {
        at[n] = text.size();
        text += std::to_string(n) + " 0 obj\n" + body + "\nendobj\n";
        return *this;
    }
    // A table of the objects `numbers` (all written so far when empty).
    std::string table(const std::string& trailer, std::vector<int> numbers = {}) {
        if (numbers.empty()) {
            for (const auto& [n, off] : at) numbers.push_back(n);
        }
        lastXref = text.size();
        text += "xref\n0 1\n0000000000 65535 f \n";
        for (int n : numbers) {
            char e[40];
            std::snprintf(e, sizeof e, "%d 1\n%010zu 00000 n \n", n, at[n]);
            text += e;
        }
        text += "trailer\n<<" + trailer + ">>\nstartxref\n" + std::to_string(lastXref) + "\n%%EOF\n";
        return text;
    }
    // A cross-reference stream (object `self`), W [1 4 2], Flate with the
    // PNG Up predictor. `packed` lists objects inside object stream `objstm`.
    std::string xrefStream(int self, const std::string& trailer, int objstm = 0, std::vector<int> packed = {}) {
        const size_t offset = text.size();
        at[self] = offset;
        std::map<int, std::pair<int, uint32_t>> rows;  // n -> type, field
        for (const auto& [n, off] : at) rows[n] = {1, static_cast<uint32_t>(off)};
        for (size_t i = 0; i < packed.size(); ++i) rows[packed[i]] = {2, static_cast<uint32_t>(objstm)};
        const int size = rows.rbegin()->first + 1;
        std::string raw, prior(7, '\0');
        for (int n = 0; n < size; ++n) {
            std::string row(7, '\0');
            if (rows.count(n)) {
                const auto [type, field] = rows[n];
                row[0] = static_cast<char>(type);
                for (int k = 0; k < 4; ++k) row[1 + k] = static_cast<char>(field >> (24 - 8 * k));
                if (type == 2) {
                    const size_t idx = std::find(packed.begin(), packed.end(), n) - packed.begin();
                    row[6] = static_cast<char>(idx);
                }
            }
            raw += '\2';
            for (int k = 0; k < 7; ++k) raw += static_cast<char>(row[k] - prior[k]);
            prior = row;
        }
        text += std::to_string(self) + " 0 obj\n" +
                Stream("/Type /XRef /Size " + std::to_string(size) +
                           " /W [1 4 2] /Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 7 >>" + trailer,
                       Deflate(raw)) +
                "\nendobj\nstartxref\n" + std::to_string(offset) + "\n%%EOF\n";
        return text;
    }
};

// An object stream holding `objects` (number, body).
std::string ObjStm(const std::vector<std::pair<int, std::string>>& objects) {
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
    c.code = AccuratePDF(qm::Bytes(pdf), c.r);
    if (c.code == QM_OK) qm::accurate::Finish(c.r);
    return c;
}

// A file that starts with catalog 1, whose tree is object 2.
Pdf Catalog() {
    Pdf p;
    p.obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    return p;
}

// The count of `file` succeeds with `pages`, counted or estimated.
void ExpectPages(const std::string& what, const std::string& file, uint32_t pages, bool estimated) {
    const Counted r = Count(file);
    ASSERT_EQ(r.code, QM_OK) << what;
    EXPECT_EQ(r.r.rec.pages, pages) << what;
    EXPECT_EQ(r.r.estimated, estimated) << what;
}

// Catalog 1, tree 2 with `n` pages 3.. (letter) and an empty content stream.
Pdf Simple(int n, const std::string& catalogExtra = "", const std::string& content = "") {
    Pdf p;
    std::string kids;
    for (int i = 0; i < n; ++i) kids += std::to_string(3 + i) + " 0 R ";
    p.obj(1, "<< /Type /Catalog /Pages 2 0 R " + catalogExtra + ">>");
    p.obj(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(n) + " /MediaBox [0 0 612 792] >>");
    for (int i = 0; i < n; ++i) p.obj(3 + i, "<< /Type /Page /Parent 2 0 R /Contents 99 0 R >>");
    p.obj(99, Stream("", content));
    return p;
}

TEST(AccuratePdf, PageTreeShapes) {
    struct Case {
        const char* what;
        std::vector<std::pair<int, std::string>> objects;  // after catalog 1
        uint32_t pages;
        bool estimated;
    };
    const Case cases[] = {
        {"nested inner nodes", {{2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 3 >>"}, {3, "<< /Type /Page >>"},
                                {4, "<< /Type /Pages /Kids [5 0 R 6 0 R] /Count 2 >>"}, {5, "<< /Type /Page >>"},
                                {6, "<< /Type /Page >>"}}, 3, false},
        {"null and missing kids skipped", {{2, "<< /Type /Pages /Kids [3 0 R null 40 0 R 3 0 R] /Count 1 >>"},
                                           {3, "<< /Type /Page >>"}}, 1, false},
        {"a kid naming its ancestor is walked once",
         {{2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>"}, {3, "<< /Type /Page >>"},
          {4, "<< /Type /Pages /Kids [2 0 R 5 0 R] >>"}, {5, "<< /Type /Page >>"}}, 2, false},
        {"/Count that disagrees: the tree wins", {{2, "<< /Type /Pages /Kids [3 0 R] /Count 7 >>"},
                                                 {3, "<< /Type /Page >>"}}, 1, true},
        {"a node with /Kids is inner whatever its type", {{2, "<< /Type /Pages /Kids [3 0 R] /Count 2 >>"},
                                                         {3, "<< /Type /Page /Kids [4 0 R 5 0 R] >>"},
                                                         {4, "<< >>"}, {5, "<< /Type /Page >>"}}, 2, false},
        {"an empty tree", {{2, "<< /Type /Pages /Kids [] /Count 0 >>"}}, 0, false},
    };
    for (const Case& c : cases) {
        Pdf p = Catalog();
        for (const auto& [n, body] : c.objects) p.obj(n, body);
        const Counted r = Count(p.table("/Size 7 /Root 1 0 R"));
        ASSERT_EQ(r.code, QM_OK) << c.what;
        EXPECT_EQ(r.r.rec.pages, c.pages) << c.what;
        EXPECT_EQ(r.r.estimated, c.estimated) << c.what;
    }
}

TEST(AccuratePdf, TreeDeeperThanTheCapIsNotCounted) {
    Pdf p = Catalog();
    for (int n = 2; n < 200; ++n) p.obj(n, "<< /Type /Pages /Kids [" + std::to_string(n + 1) + " 0 R] >>");
    p.obj(200, "<< /Type /Page >>");
    EXPECT_EQ(Count(p.table("/Size 201 /Root 1 0 R")).code, QM_E_NOT_UNDERSTOOD);
}

TEST(AccuratePdf, PaperOfTheFirstPage) {
    struct Case {
        const char* tree;  // extra keys of the tree
        const char* page;  // keys of the first page
        double width, length;
    };
    const Case cases[] = {
        {"/MediaBox [0 0 595 842]", "", 8.26, 11.69},           // inherited
        {"/MediaBox [0 0 595 842]", "/MediaBox [0 0 612 1008]", 8.5, 14},
        {"/MediaBox [0 0 612 792] /Rotate 90", "", 11, 8.5},    // rotation inherited too
        {"", "/MediaBox [612 792 0 0] /Rotate -270", 11, 8.5},
        {"", "/MediaBox [0 0 612 792] /Rotate 180", 8.5, 11},
        {"", "/MediaBox [0 0 612]", 0, 0},                      // unknown
        {"", "", 0, 0},
    };
    for (const Case& c : cases) {
        Pdf p = Catalog();
        p.obj(2, std::string("<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 ") + c.tree + ">>");
        p.obj(3, std::string("<< /Type /Page ") + c.page + ">>");
        p.obj(4, "<< /Type /Page /MediaBox [0 0 100 100] >>");
        const Counted r = Count(p.table("/Size 5 /Root 1 0 R"));
        ASSERT_EQ(r.code, QM_OK);
        EXPECT_NEAR(r.r.rec.paperWidth, c.width, 0.01) << c.tree << " | " << c.page;
        EXPECT_NEAR(r.r.rec.paperLength, c.length, 0.01) << c.tree << " | " << c.page;
        EXPECT_EQ((r.r.unknown & QM_FIELD_PAPER) != 0, c.width == 0);
    }
}

TEST(AccuratePdf, ViewerPreferences) {
    struct Case {
        const char* prefs;
        uint32_t copies;
        uint8_t duplex;
        bool duplexKnown;
    };
    const Case cases[] = {
        {"", 1, 0, false},
        {"/ViewerPreferences << /NumCopies 3 /Duplex /DuplexFlipLongEdge >>", 3, 1, true},
        {"/ViewerPreferences 9 0 R", 2, 1, true},  // indirect: NumCopies 2, short edge
        {"/ViewerPreferences << /Duplex /Simplex /NumCopies 0 >>", 1, 0, true},
        {"/ViewerPreferences << /NumCopies -4 >>", 1, 0, false},
        {"/ViewerPreferences << /NumCopies 4294967297 >>", 1, 0, false},
    };
    for (const Case& c : cases) {
        Pdf p = Simple(1, c.prefs);
        p.obj(9, "<< /NumCopies 2 /Duplex /DuplexFlipShortEdge >>");
        const Counted r = Count(p.table("/Size 100 /Root 1 0 R"));
        ASSERT_EQ(r.code, QM_OK) << c.prefs;
        EXPECT_EQ(r.r.rec.copies, c.copies) << c.prefs;
        EXPECT_EQ(r.r.rec.duplex, c.duplex) << c.prefs;
        EXPECT_EQ((r.r.unknown & QM_FIELD_DUPLEX) == 0, c.duplexKnown) << c.prefs;
    }
}

TEST(AccuratePdf, CrossReferenceStreamsAndObjectStreams) {
    // Every page in an object stream, found through a cross-reference stream.
    Pdf p = Catalog();
    p.obj(10, ObjStm({{2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 612 792] >>"},
                      {3, "<< /Type /Page /Parent 2 0 R >>"},
                      {4, "<< /Type /Page /Parent 2 0 R >>"}}));
    const std::string modern = p.xrefStream(11, " /Root 1 0 R", 10, {2, 3, 4});
    const Counted r = Count(modern);
    ASSERT_EQ(r.code, QM_OK);
    EXPECT_EQ(r.r.rec.pages, 2u);
    EXPECT_FALSE(r.r.estimated);
    EXPECT_NEAR(r.r.rec.paperWidth, 8.5, 0.01);

    // A hybrid file: the table leaves the packed objects out; its trailer's
    // /XRefStm finds them.
    Pdf h = Catalog();
    h.obj(10, ObjStm({{2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>"},
                      {3, "<< /Type /Page >>"}, {4, "<< /Type /Page >>"}, {5, "<< /Type /Page >>"}}));
    std::string hidden = h.xrefStream(11, " /Root 1 0 R", 10, {2, 3, 4, 5});
    hidden.resize(hidden.rfind("startxref"));
    h.text = hidden;
    ExpectPages("hybrid", h.table("/Size 12 /Root 1 0 R /XRefStm " + std::to_string(h.at[11]), {1, 10}), 3, false);
}

TEST(AccuratePdf, IncrementalUpdatesNewestWins) {
    Pdf p = Simple(3);
    p.table("/Size 100 /Root 1 0 R");
    const size_t first = p.lastXref;
    // The update takes page 4 out of the tree; its object stays in the file.
    p.obj(2, "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 /MediaBox [0 0 612 792] >>");
    ExpectPages("update", p.table("/Size 100 /Root 1 0 R /Prev " + std::to_string(first), {2}), 2, false);
}

TEST(AccuratePdf, WrappersAndJunk) {
    const std::string pdf = Simple(2).table("/Size 100 /Root 1 0 R");
    const std::string uel = "\x1b%-12345X";
    const std::string cases[] = {
        uel + "@PJL JOB\r\n@PJL ENTER LANGUAGE=PDF\r\n" + pdf + uel + "@PJL EOJ\r\n" + uel,
        std::string(300, 'j') + "\n" + pdf,  // offsets count from the header
        pdf + std::string(5000, '\0') + "junk after the end",
    };
    for (const std::string& c : cases) ExpectPages(c.substr(0, 20), c, 2, false);
    // The header must stand near the start of the job.
    EXPECT_EQ(Count(std::string(5000, 'x') + pdf).code, QM_E_NOT_UNDERSTOOD);
}

TEST(AccuratePdf, RepairsBrokenCrossReferenceData) {
    const std::string good = Simple(3).table("/Size 100 /Root 1 0 R");
    const size_t sx = good.rfind("startxref");
    std::string noTable = good.substr(0, good.rfind("xref\n0 1"));
    std::string shifted = good;
    shifted.insert(good.find("1 0 obj"), std::string(37, ' '));
    std::string badStart = good.substr(0, sx) + "startxref\n12\n%%EOF\n";
    // Objects in an object stream and no cross-reference data at all.
    Pdf packed = Catalog();
    packed.obj(10, ObjStm({{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"}, {3, "<< /Type /Page >>"}}));
    // A later definition of the tree wins over the packed one.
    Pdf later = packed;
    later.obj(2, "<< /Type /Pages /Kids [3 0 R 3 0 R 11 0 R] /Count 2 >>");
    later.obj(11, "<< /Type /Page >>");
    const std::pair<std::string, uint32_t> cases[] = {
        {noTable, 3}, {shifted, 3}, {badStart, 3}, {packed.text, 1}, {later.text, 2},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        ExpectPages("repair " + std::to_string(i), cases[i].first, cases[i].second, true);
}

TEST(AccuratePdf, UnrepairableFilesGetNoCount) {
    const std::string good = Simple(2).table("/Size 100 /Root 1 0 R");
    const std::string cases[] = {
        "%PDF-1.4\n%%EOF\n",
        "%PDF-1.7\n1 0 obj\n<< /Type /Pages /Kids [2 0 R] /Count 1 >>\nendobj\n",  // no catalog
        good.substr(0, good.find("2 0 obj")),                                    // the tree is cut away
        "%PDF-1.7\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n2 0 obj\n<< /Type /Pages /Kids [5 0 R] /Count 3 >>\nendobj\n",
        "not a PDF at all",
    };
    for (const std::string& c : cases) EXPECT_EQ(Count(c).code, QM_E_NOT_UNDERSTOOD) << c.substr(0, 60);
}

TEST(AccuratePdf, ColourFromWhatThePagesDraw) {
    struct Case {
        const char* content;
        const char* resources;
        uint8_t color;
        bool unknown;
    };
    const Case cases[] = {
        {"0 g 0 0 10 10 re f", "", 0, false},
        {"0.2 0.2 0.2 rg 0.5 0.5 0.5 RG", "", 0, false},
        {"1 0 0 rg 0 0 10 10 re f", "", 1, false},
        {"0 0 0 1 k 0 0 0 0.5 K", "", 0, false},
        {"0 0.3 0 0 k", "", 1, false},
        {"/C cs 0.1 0.1 0.1 sc", "/ColorSpace << /C [/ICCBased 20 0 R] >>", 0, false},
        {"/C cs 0.1 0.9 0.1 scn", "/ColorSpace << /C [/ICCBased 20 0 R] >>", 1, false},
        {"/S cs 1 scn", "/ColorSpace << /S [/Separation /Black /DeviceCMYK 21 0 R] >>", 0, false},
        {"/S cs 1 scn", "/ColorSpace << /S [/Separation /PANTONE#20185 /DeviceCMYK 21 0 R] >>", 1, false},
        {"/S cs 0 scn", "/ColorSpace << /S [/Separation /Spot /DeviceCMYK 21 0 R] >>", 0, false},
        {"/I cs 1 sc", "/ColorSpace << /I [/Indexed /DeviceRGB 1 <000000808080>] >>", 0, false},
        {"/I cs 1 sc", "/ColorSpace << /I [/Indexed /DeviceRGB 1 <000000FF0000>] >>", 1, false},
        {"/X cs 1 sc", "/ColorSpace << /X [/Strange 1] >>", 1, true},
        {"/Im Do", "/XObject << /Im 22 0 R >>", 0, false},    // RGB samples, all gray
        {"/Im Do", "/XObject << /Im 23 0 R >>", 1, false},    // RGB samples, one red
        {"/Im Do", "/XObject << /Im 24 0 R >>", 1, false},    // a JPEG in RGB
        {"/Fm Do", "/XObject << /Fm 25 0 R >>", 1, false},    // a form that sets red
        {"/Sh sh", "/Shading << /Sh << /ShadingType 2 /ColorSpace /DeviceRGB >> >>", 1, false},
        {"/Sh sh", "/Shading << /Sh << /ShadingType 2 /ColorSpace /DeviceGray >> >>", 0, false},
        {"BI /W 1 /H 1 /CS /RGB /BPC 8 ID \x01\x02\x03 EI 0 g", "", 1, false},
        {"BI /W 1 /H 1 /CS /G /BPC 8 ID \xff EI 0 g", "", 0, false},
        {"(unbalanced", "", 1, true},
    };
    for (const Case& c : cases) {
        Pdf p = Catalog();
        p.obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 612 792] >>");
        p.obj(3, std::string("<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources <<") + c.resources + ">> >>");
        p.obj(4, Stream(" /Filter /FlateDecode", Deflate(c.content)));
        p.obj(20, Stream(" /N 3", "icc"));
        p.obj(21, "<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 0 0 1] /N 1 >>");
        p.obj(22, Stream(" /Subtype /Image /Width 2 /Height 1 /ColorSpace /DeviceRGB /BitsPerComponent 8",
                         std::string("\x10\x10\x10\x80\x80\x80", 6)));
        p.obj(23, Stream(" /Subtype /Image /Width 2 /Height 1 /ColorSpace /DeviceRGB /BitsPerComponent 8",
                         std::string("\x10\x10\x10\xff\x00\x00", 6)));
        p.obj(24, Stream(" /Subtype /Image /Width 2 /Height 1 /ColorSpace /DeviceRGB /BitsPerComponent 8 "
                         "/Filter /DCTDecode",
                         "jpeg"));
        p.obj(25, Stream(" /Subtype /Form /BBox [0 0 1 1]", "1 0 0 RG 0 0 m 1 1 l S"));
        const Counted r = Count(p.table("/Size 26 /Root 1 0 R"));
        ASSERT_EQ(r.code, QM_OK) << c.content;
        EXPECT_EQ(r.r.rec.color, c.color) << c.content;
        EXPECT_EQ((r.r.unknown & QM_FIELD_COLOR) != 0, c.unknown) << c.content;
    }
}

TEST(AccuratePdf, HostileFilesStayBounded) {
    // A tiny stream that inflates past every cap: the count stands, the
    // colour is unknown.
    const std::string bomb = Deflate(std::string(80u << 20, ' '));
    Pdf p = Catalog();
    p.obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    p.obj(3, "<< /Type /Page /Contents 4 0 R >>");
    p.obj(4, Stream(" /Filter /FlateDecode", bomb));
    const Counted r = Count(p.table("/Size 5 /Root 1 0 R"));
    ASSERT_EQ(r.code, QM_OK);
    EXPECT_EQ(r.r.rec.pages, 1u);
    EXPECT_NE(r.r.unknown & QM_FIELD_COLOR, 0u);

    // Nesting without end, /Prev naming its own section, lengths and
    // counts far past the file.
    Pdf s = Simple(1);
    const std::string self = s.table("/Size 100 /Root 1 0 R /Prev " + std::to_string(s.text.size()));
    const std::string nested = "%PDF-1.7\n1 0 obj\n" + std::string(100000, '[') + "\nendobj\n";
    Pdf lie = Catalog();
    lie.obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 4000000000 >>");
    lie.obj(3, "<< /Type /Page /Contents 4 0 R >>");
    lie.obj(4, "<< /Length 99999999999 >>\nstream\nabc\nendstream");
    lie.obj(5, Stream("/Type /ObjStm /N 2000000000 /First 1", "0"));
    const std::string liar = lie.table("/Size 4000000000 /Root 1 0 R");
    EXPECT_EQ(Count(self).r.rec.pages, 1u);
    EXPECT_EQ(Count(nested).code, QM_E_NOT_UNDERSTOOD);
    const Counted l = Count(liar);
    ASSERT_EQ(l.code, QM_OK);
    EXPECT_EQ(l.r.rec.pages, 1u);
    EXPECT_TRUE(l.r.estimated);
}

TEST(AccuratePdf, PasswordProtectedFilesAreRefused) {
    // A standard security handler whose empty user password does not open it.
    Pdf p = Simple(1);
    p.obj(30, "<< /Filter /Standard /V 2 /R 3 /Length 128 /P -4 /O <" + std::string(64, 'A') + "> /U <" +
                  std::string(64, 'B') + "> >>");
    const std::string pdf = p.table("/Size 100 /Root 1 0 R /Encrypt 30 0 R /ID [<0123456789ABCDEF0123456789ABCDEF> "
                                    "<0123456789ABCDEF0123456789ABCDEF>]");
    EXPECT_EQ(Count(pdf).code, QM_E_ENCRYPTED);
}

TEST(AccuratePdfParser, Objects) {
    struct Case {
        const char* text;
        Kind kind;
        const char* textValue;  // Name or String
        double number;
    };
    const Case cases[] = {
        {"/A#20B#2f", Kind::Name, "A B/", 0},
        {"(a\\(b\\)\\n\\101\\0612(c))", Kind::String, "a(b)\nA12(c)", 0},
        {"(line\\\ncontinued)", Kind::String, "linecontinued", 0},
        {"<48 65 6C6C 6F7>", Kind::String, "Hellop", 0},
        {"-.5", Kind::Real, "", -0.5},
        {"+7", Kind::Int, "", 7},
        {"12 0 R", Kind::Ref, "", 12},
        {"12 -1 R", Kind::Int, "", 12},  // not a reference: the generation is not a count
        {"<< /A null /B 1 >>", Kind::Dict, "", 0},
    };
    for (const Case& c : cases) {
        Parser p(qm::Bytes(c.text));
        const Value v = p.object();
        EXPECT_EQ(v.kind, c.kind) << c.text;
        if (c.kind == Kind::Name || c.kind == Kind::String) {
            EXPECT_EQ(v.text, c.textValue) << c.text;
        }
        if (c.kind == Kind::Int || c.kind == Kind::Real || c.kind == Kind::Ref) {
            EXPECT_EQ(v.real, c.number) << c.text;
        }
        if (c.kind == Kind::Dict) {
            EXPECT_EQ(v.size(), 1u) << "a null value is an absent key";
            EXPECT_EQ(v.get("A"), nullptr);
        }
    }
    for (const char* bad : {"<< /A 1", "[1 2", "(open", "<4G>", "1-2", "<< 1 2 >>", "]", "--"}) {
        Parser p{qm::Bytes(bad)};
        EXPECT_THROW(p.object(), qm::pdf::Broken) << bad;
    }
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

TEST(AccuratePdfFilters, DecodeEveryFilter) {
    std::string rows;
    for (int i = 0; i < 60; ++i) rows += static_cast<char>((i * 37 + i / 6) & 0xFF);  // 10 rows of 6 bytes
    struct Case {
        std::string dict, data, expect;
    };
    std::vector<Case> cases = {
        {"/Filter /ASCIIHexDecode", "48 65 6c6C 6f7>", "Hellop"},
        {"/Filter /AHx", "414>", "A@"},
        {"/Filter /ASCII85Decode", "87cURDZ~>", "Hello"},
        {"/Filter /A85", "z!!~>", std::string(5, '\0')},
        {"/Filter [/AHx /FlateDecode]", "", "flate under hex"},
        {"/Filter /FlateDecode /DecodeParms << /Predictor 2 /Colors 3 /Columns 2 >>", "", ""},
    };
    std::string hex;
    for (unsigned char ch : Deflate("flate under hex")) {
        char h[3];
        std::snprintf(h, sizeof h, "%02x", ch);
        hex += h;
    }
    cases[4].data = hex + ">";
    std::string tiff = rows;
    for (size_t at = 0; at < tiff.size(); at += 6) {
        for (size_t i = 5; i >= 3; --i) tiff[at + i] = static_cast<char>(tiff[at + i] - tiff[at + i - 3]);
    }
    cases[5].data = Deflate(tiff);
    cases[5].expect = rows;
    for (int type = 0; type <= 4; ++type) {
        cases.push_back({"/Filter /FlateDecode /DecodeParms << /Predictor 12 /Colors 2 /Columns 3 >>",
                         Deflate(PngEncode(rows, 6, 2, type)), rows});
    }
    for (const Case& c : cases) {
        qm::pdf::Document doc(qm::Bytes(""), 0);
        qm::pdf::Object o;
        o.value = Parser(qm::Bytes("<<" + c.dict + ">>")).object();
        o.stream = true;
        o.data = qm::Bytes(c.data);
        std::string out;
        ASSERT_TRUE(doc.decode(o, out)) << c.dict;
        EXPECT_EQ(out, c.expect) << c.dict;
    }
    // Unknown filters and corrupt data do not decode.
    for (const char* dict : {"/Filter /LZWDecode", "/Filter /FlateDecode", "/Filter /A85"}) {
        qm::pdf::Document doc(qm::Bytes(""), 0);
        qm::pdf::Object o;
        o.value = Parser(qm::Bytes(std::string("<<") + dict + ">>")).object();
        o.stream = true;
        o.data = qm::Bytes("\x01not data\x7f");
        std::string out;
        EXPECT_FALSE(doc.decode(o, out)) << dict;
    }
}

TEST(AccuratePdf, LongDocumentsAndTheCountWithoutColour) {
    // 10,000 pages in a three-level tree, every page with its own content.
    Pdf p = Catalog();
    std::string top;
    int next = 3;
    std::vector<std::pair<int, std::string>> later;
    for (int a = 0; a < 100; ++a) {
        const int inner = next++;
        top += std::to_string(inner) + " 0 R ";
        std::string kids;
        for (int b = 0; b < 100; ++b) {
            const int page = next++, content = next++;
            kids += std::to_string(page) + " 0 R ";
            later.emplace_back(page, "<< /Type /Page /Parent " + std::to_string(inner) + " 0 R /Contents " +
                                         std::to_string(content) + " 0 R >>");
            later.emplace_back(content, Stream("", "0.5 g 0 0 10 10 re f"));
        }
        later.emplace_back(inner, "<< /Type /Pages /Kids [" + kids + "] /Count 100 >>");
    }
    p.obj(2, "<< /Type /Pages /Kids [" + top + "] /Count 10000 /MediaBox [0 0 595 842] >>");
    for (const auto& [n, body] : later) p.obj(n, body);
    const std::string pdf = p.table("/Size " + std::to_string(next) + " /Root 1 0 R");
    const Counted whole = Count(pdf);
    ASSERT_EQ(whole.code, QM_OK);
    EXPECT_EQ(whole.r.rec.pages, 10000u);
    EXPECT_EQ(whole.r.rec.color, 0);
    EXPECT_EQ(whole.r.unknown & QM_FIELD_COLOR, 0u);
    Result structure;
    ASSERT_EQ(qm::pdf::Count(qm::Bytes(pdf), structure, qm::pdf::Colour::Skip), QM_OK);
    EXPECT_EQ(structure.rec.pages, 10000u);
    EXPECT_EQ(structure.rec.color, 1) << "not read: never reported mono";
    EXPECT_NE(structure.unknown & QM_FIELD_COLOR, 0u);
}

}  // namespace
