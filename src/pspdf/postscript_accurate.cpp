// The accurate count of PostScript jobs.
#include "accurate/accurate.h"

namespace qm::accurate {

int32_t AccuratePOSTSCRIPT(Bytes job, Result& out) { return PassThrough("POSTSCRIPT", job, out); }

}  // namespace qm::accurate
