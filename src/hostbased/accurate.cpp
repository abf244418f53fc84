// The accurate counts of this family's languages. The streams that real
// drivers on hand write are walked record by record (see laser_accurate.cpp
// and inkjet_accurate.cpp); the others pass their export's record through,
// with the fields their exports cannot know marked unknown.
#include "hostbased/hostbased_accurate.h"

namespace qm::accurate {

int32_t AccurateZJSTREAM(Bytes job, Result& out) { return CountZjStream(job, out); }
int32_t AccurateOAKT(Bytes job, Result& out) { return CountOakt(job, out); }
int32_t AccurateHIPERC(Bytes job, Result& out) { return CountHiperc(job, out); }
int32_t AccuratePPA(Bytes job, Result& out) { return CountPpa(job, out); }
int32_t AccurateLexmark(Bytes job, Result& out) { return CountLexmarkChecked(job, out); }

// Settings these exports read from the job itself (device-mode blocks, item
// tables, page headers) pass through unmarked; the rest is marked unknown.
int32_t AccurateZIMF(Bytes job, Result& out) { return PassMarked("ZIMF", job, out, 0); }
// The export states the sheet as its printable dots plus a margin; the page
// chunk's paper code names it.
int32_t AccurateTALLYSTREAM(Bytes job, Result& out) {
    const int32_t code = PassMarked("TALLYSTREAM", job, out, 0);
    if (code != QM_OK) return code;
    if (!ReadTallyPaper(job, out.rec.paperWidth, out.rec.paperLength)) {
        out.rec.paperWidth = out.rec.paperLength = 0.0;
        out.unknown |= QM_FIELD_PAPER;
    }
    return QM_OK;
}
int32_t AccurateTCPL(Bytes job, Result& out) { return PassMarked("TCPL", job, out, 0); }
// The HBP export reports every job in colour and reads no duplex.
int32_t AccurateHBP(Bytes job, Result& out) {
    return PassMarked("HBP", job, out, QM_FIELD_COLOR | QM_FIELD_DUPLEX);
}
// The Oki export reports every job in colour and reads no duplex.
int32_t AccurateOKI(Bytes job, Result& out) {
    return PassMarked("OKI", job, out, QM_FIELD_COLOR | QM_FIELD_DUPLEX);
}
int32_t AccuratePANASONIC(Bytes job, Result& out) { return PassMarked("PANASONIC", job, out, QM_FIELD_COLOR); }
// UFR pages carry their paper; copies, colour and duplex are not read.
int32_t AccurateCanonUFR(Bytes job, Result& out) {
    return PassMarked("CanonUFR", job, out, QM_FIELD_COPIES | QM_FIELD_COLOR | QM_FIELD_DUPLEX);
}
// LIDIL carries no copy count; its export reports every job in colour.
int32_t AccurateLIDIL(Bytes job, Result& out) {
    return PassMarked("LIDIL", job, out, QM_FIELD_COPIES | QM_FIELD_COLOR | QM_FIELD_DUPLEX);
}
int32_t AccurateCanonCAPT(Bytes job, Result& out) {
    return PassMarked("CanonCAPT", job, out, QM_FIELD_COLOR | QM_FIELD_DUPLEX);
}
int32_t AccurateBrotherNCM(Bytes job, Result& out) {
    return PassMarked("BrotherNCM", job, out, QM_FIELD_COPIES | QM_FIELD_DUPLEX);
}
int32_t AccurateFijiPhoto(Bytes job, Result& out) { return PassMarked("FijiPhoto", job, out, QM_FIELD_DUPLEX); }

}  // namespace qm::accurate
