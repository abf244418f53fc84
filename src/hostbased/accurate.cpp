// The accurate counts of this family's languages. Where a language's export
// already counts real jobs right, its record passes through.
#include "accurate/accurate.h"

namespace qm::accurate {

int32_t AccurateZIMF(Bytes job, Result& out) { return PassThrough("ZIMF", job, out); }
int32_t AccurateLexmark(Bytes job, Result& out) { return PassThrough("Lexmark", job, out); }
int32_t AccurateHBP(Bytes job, Result& out) { return PassThrough("HBP", job, out); }
int32_t AccurateTCPL(Bytes job, Result& out) { return PassThrough("TCPL", job, out); }
int32_t AccuratePPA(Bytes job, Result& out) { return PassThrough("PPA", job, out); }
int32_t AccurateOKI(Bytes job, Result& out) { return PassThrough("OKI", job, out); }
int32_t AccurateZJSTREAM(Bytes job, Result& out) { return PassThrough("ZJSTREAM", job, out); }
int32_t AccurateTALLYSTREAM(Bytes job, Result& out) { return PassThrough("TALLYSTREAM", job, out); }
int32_t AccurateOAKT(Bytes job, Result& out) { return PassThrough("OAKT", job, out); }
int32_t AccuratePANASONIC(Bytes job, Result& out) { return PassThrough("PANASONIC", job, out); }
int32_t AccurateCanonUFR(Bytes job, Result& out) { return PassThrough("CanonUFR", job, out); }
int32_t AccurateHIPERC(Bytes job, Result& out) { return PassThrough("HIPERC", job, out); }
int32_t AccurateLIDIL(Bytes job, Result& out) { return PassThrough("LIDIL", job, out); }
int32_t AccurateCanonCAPT(Bytes job, Result& out) { return PassThrough("CanonCAPT", job, out); }
int32_t AccurateBrotherNCM(Bytes job, Result& out) { return PassThrough("BrotherNCM", job, out); }
int32_t AccurateFijiPhoto(Bytes job, Result& out) { return PassThrough("FijiPhoto", job, out); }

}  // namespace qm::accurate
