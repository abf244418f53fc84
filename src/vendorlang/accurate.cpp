// The accurate counts of this family's languages. Where a language's export
// already counts real jobs right, its record passes through.
#include "accurate/accurate.h"

namespace qm::accurate {

int32_t AccurateESC_PAGE(Bytes job, Result& out) { return PassThrough("ESC_PAGE", job, out); }
int32_t AccurateRPCS(Bytes job, Result& out) { return PassThrough("RPCS", job, out); }
int32_t AccurateQPDL(Bytes job, Result& out) { return PassThrough("QPDL", job, out); }
int32_t AccurateIPDL(Bytes job, Result& out) { return PassThrough("IPDL", job, out); }
int32_t AccuratePrintronixGL(Bytes job, Result& out) { return PassThrough("PrintronixGL", job, out); }

}  // namespace qm::accurate
