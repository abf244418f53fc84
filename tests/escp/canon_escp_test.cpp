#include "escp/canon_escp.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "testutil.h"

using qmtest::Lit;

namespace {

struct EscpRun {
    std::string out;
    int mode = 0;
    PageCountResult rec{};
};

EscpRun RunOn(const std::string& job, PageCountResult start = {}) {
    qm::CommandStream s;
    s.Attach(qm::Bytes(job));
    EscpRun r;
    r.rec = start;
    r.mode = qm::canon::kEscpMode;
    testing::internal::CaptureStdout();
    qm::canon::RunEscp(s, r.mode, r.rec);
    std::fflush(stdout);
    r.out = testing::internal::GetCapturedStdout();
    return r;
}

const std::string kUnsupported = "   This commmand is unsupported\n";

struct TraceCase {
    const char* name;
    std::string job;
    std::string out;
};

TEST(CanonEscpTrace, WritesEachCommandWordForWord) {
    const TraceCase cases[] = {
        {"text through the hook", "AB", "AB"},
        {"lone ESC at the end", "\x1b", "\x1b"},
        {"form feeds and reset", Lit("\r\n\f\x1b@"), "CarriageReturn\nLineFeed\nFormFeed\nInitializePrinter\n"},
        {"page length out of range", Lit("\x1b" "C\x00"), "SetPageLength : 0 inches\n   Value '0' is out of range\n"},
        {"page length", Lit("\x1b" "C\x0c"), "SetPageLength : c inches\n"},
        {"margins", Lit("\x1bN\x80\x1bQ\x00\x1bI\x05"),
         "SetBottomMargin : 80 inches\n   Value '80' is out of range\nSetRightMargin : 0 inches\n"
         "   Value '0' is out of range\nSetLeftMargin : 5 inches\n"},
        {"characters as data", Lit("\x1b(^\x02\x00\x41\x42"), "PrintDataAsChars : n = 2\n  41 A42 B\n"},
        {"tab stops", Lit("\x1b" "D\x08\x10\x00"), "SetHorzTabs\n" + kUnsupported},
        {"superscript whatever n", Lit("\x1bS\x01"), "SelectSuperSubScript : Superscript\n"},
        {"strike-through in decimal", Lit("\x1b(-\x03\x00\x01\x0c\x02"),
         "SelectStrikeThrough : n=3 m=1 d1=12 d2=2\n" + kUnsupported},
        {"strike-through with another count", Lit("\x1b(-\x04\x00\x01\x0c\x02"),
         "SelectStrikeThrough : n=4 m=1 d1=12 d2=2\n"},
        {"assign table", Lit("\x1b(t\x03\x00\x01\x0c\x02"), "AssignCharTable : n=3 d1=1 d2=c d3=2\n" + kUnsupported},
        {"graphics mode sticks until reset",
         Lit("\x1b(G\x01\x00\x31\x1b(G\x01\x00\x00\x1b@\x1b(G\x01\x00\x00"),
         "SetGraphicsMode : n = 1  mode = on\nSetGraphicsMode : n = 1  mode = on\nInitializePrinter\n"
         "SetGraphicsMode : n = 1  mode = off\n"},
        {"raster header before its data", Lit("\x1b.\x00\x14\x14\x01\x10\x00\x0c\x0c"),
         "PrintRaster : c=0 v=14 h=14 m=1 n=10 NumBytes=2\n"},
        {"colour raster header", Lit("\x1bi\x01\x00\x02\x03\x00\x02\x00") + std::string(6, '\f'),
         "PrintColorRaster : c=0 v=3 h=2 m=c n=6 NumBytes=6\n"},
        {"graphics after the data", Lit("\x1bK\x03\x00\x0c\x0c\x0c"), "Select60DPIGraph : n = 3\n"},
        {"unknown density leaves its data", Lit("\x1b*\x05\x02\x00xy"), "SelectBitImage : density = 5  cols = 2\nxy"},
        {"colour select is traced only", Lit("\x1br\x01"), "SelectColor : n = 1\n"},
        {"vertical position", Lit("\x1b(V\x02\x00\x34\x12"), "SetAbsoluteVertPos : n = 2  pos = 1234\n"},
        {"page size", Lit("\x1b(S\x08\x00\x01\x00\x00\x00\x02\x00\x00\x00"),
         "SetPageSizeInDefinedUnit : Plot Area Length = 1  width = 2\n"},
        {"page format", Lit("\x1b(c\x04\x00\x10\x00\x20\x00"), "SetPagFormat : n = 4  top = 10  Bot = 20\n"},
        {"unit", Lit("\x1b(U\x01\x00\x0a"), "SetUnit : n = 1  units = a\n"},
        {"user characters refused", Lit("\x1b&\x00\x42\x41"), "DefineUserDefChars : first=42 last=41\n"},
        {"copy ROM", Lit("\x1b:\x00\x01\x00"), "CopyRomToRam : n = 1  m = 0\n" + kUnsupported},
        {"user set", Lit("\x1b%\x01\x1b%\x05"), "SelectUserDefSet : set = 1\n" + kUnsupported + "SelectUserDefSet : set = 5\n"},
        {"paper loading", Lit("\x1b\x19R\x1b\x19X"), "ControlPaperLoading\n" + kUnsupported + "ControlPaperLoading\n"},
        {"unidirectional", Lit("\x1bU\x01\x1bU\x02\x1b<"),
         "ToggleUniDir\n" + kUnsupported + "ToggleUniDir\nSelectUniDir\n" + kUnsupported},
        {"beeper", Lit("\x07"), "Beeper\n" + kUnsupported},
        {"line spacing consumes its value", Lit("\x1b" "3\x0c\x1b+\x0c\x1b" "A\x0c"),
         "Set180LineSpace\nSet360LineSpace\nSet60LineSpace\n"},
        {"remote block named once", Lit("\x1b(R\x08\x00\x00REMOTE1\x1b\x00"), "RemoteCommand\n"},
        {"ESC [ with another byte", Lit("\x1b[x"), "x"},
        {"initial condition, bad count", Lit("\x1b[K\x03\x00\x00\x0f\x0cZ"), "SetInitialCondition : Invalid count\nZ"},
    };
    for (const TraceCase& c : cases) {
        const EscpRun r = RunOn(c.job);
        EXPECT_EQ(r.out, c.out) << c.name;
        EXPECT_EQ(r.mode, qm::canon::kEndOfData) << c.name;
    }
}

struct CountCase {
    const char* name;
    std::string job;
    uint32_t pages;
    uint8_t color;
    double length;
    int mode;
    PageCountResult start{};  // what earlier runs found
};

TEST(CanonEscpRun, CountsAndSwitchesMode) {
    const CountCase cases[] = {
        {"no form feed is no page", "text", 0, 0, 11.0, 4},
        {"form feeds", Lit("\f\f\f"), 3, 0, 11.0, 4},
        {"form feeds inside data", Lit("\x1bK\x02\x00\f\f\x1b" "3\f\x1b(^\x01\x00\f\f"), 1, 0, 11.0, 4},
        {"ESC r does not make colour", Lit("\x1br\x01"), 0, 0, 11.0, 4},
        {"ESC i makes colour", Lit("\x1bi\x00\x00\x01\x01\x00\x01\x00\x00"), 0, 1, 11.0, 4},
        {"ESC @ clears colour, keeps pages", Lit("\x1bi\x00\x00\x01\x01\x00\x01\x00\x00\f\x1b@"), 1, 0, 11.0, 4},
        {"ESC ( C whatever its count",
         Lit("\x1b(U\x01\x00\x0a\x1b(C\x04\x00\x10\x0e\x00\x00"), 0, 0, 10.0, 4},
        {"ESC C 12", Lit("\x1b" "C\x0c"), 0, 0, 12.0, 4},
        {"ESC C NUL n keeps its inch byte", Lit("\x1b" "C\x00\x0c"), 0, 0, 11.0, 4},
        {"remote eject", Lit("\x1b(R\x02\x00\x1bp\x00\x03" "1234567\x1b\x00"), 1, 1, 11.0, 4},
        {"raster mode asked", Lit("\f\x1b[K\x02\x00\x00\x0f\f"), 1, 0, 11.0, 2},
        {"raster mode asked at the end", Lit("\x1b[K\x02\x00\x00\x0f"), 0, 0, 11.0, 4},
        {"other initial condition goes on", Lit("\x1b[K\x02\x00\x01\x0f\f"), 1, 0, 11.0, 4},
        // An earlier size stays; an empty width is filled.
        {"merged into earlier runs", Lit("\x1b" "C\x0c\f"), 3, 1, 14.0, 4, {2, 0, 1, 0, {}, 14.0, 0.0}},
    };
    for (const CountCase& c : cases) {
        const EscpRun r = RunOn(c.job, c.start);
        EXPECT_EQ(r.rec.pages, c.pages) << c.name;
        EXPECT_EQ(r.rec.copies, 0u) << c.name;
        EXPECT_EQ(r.rec.color, c.color) << c.name;
        EXPECT_DOUBLE_EQ(r.rec.paperLength, c.length) << c.name;
        EXPECT_DOUBLE_EQ(r.rec.paperWidth, 8.5) << c.name;
        EXPECT_EQ(r.mode, c.mode) << c.name;
    }
}

TEST(CanonEscpRun, NoFileEndsTheCount) {
    qm::CommandStream s;
    ASSERT_TRUE(s.Open(""));
    PageCountResult rec{};
    int mode = qm::canon::kEscpMode;
    qm::canon::RunEscp(s, mode, rec);
    EXPECT_EQ(mode, qm::canon::kEndOfData);
    EXPECT_EQ(rec.pages, 0u);
    EXPECT_EQ(rec.paperLength, 0.0);
}

TEST(CanonEscpRun, ZeroBitsPerDotRaises) {
    qm::CommandStream s;
    const std::string job = Lit("\x1bi\x00\x00\x00\x01\x00\x01\x00");
    s.Attach(qm::Bytes(job));
    PageCountResult rec{};
    int mode = qm::canon::kEscpMode;
    EXPECT_THROW(qm::canon::RunEscp(s, mode, rec), qm::escp2::BadRasterArgument);
    EXPECT_EQ(qm::canon::gTracePageFormat, nullptr);  // handlers released
    EXPECT_EQ(qm::canon::TraceDispatch(qm::canon::kTraceEscTable, '@'), 1);  // and a command finds none
}

}  // namespace
