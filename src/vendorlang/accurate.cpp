// The accurate counts of this family's languages. ESC/Page and QPDL are read
// from their structure (escpage_accurate.cpp, qpdl_accurate.cpp); the other
// languages pass their export's record through, with the fields their
// exports cannot know marked unknown (Printronix copies are checked:
// printronix_accurate.cpp).
#include "vendorlang/vendor_accurate.h"

namespace qm::accurate {

int32_t AccurateESC_PAGE(Bytes job, Result& out) { return CountEscPage(job, out); }
int32_t AccurateQPDL(Bytes job, Result& out) { return CountQpdl(job, out); }
// RPCS job settings carry copies, colour, duplex and paper.
int32_t AccurateRPCS(Bytes job, Result& out) { return PassMarked("RPCS", job, out, 0); }
// The IPDL export reads no duplex.
int32_t AccurateIPDL(Bytes job, Result& out) { return PassMarked("IPDL", job, out, QM_FIELD_DUPLEX); }
int32_t AccuratePrintronixGL(Bytes job, Result& out) { return CountPrintronix(job, out); }

}  // namespace qm::accurate
