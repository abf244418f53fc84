// The accurate count of PDF jobs.
#include "accurate/accurate.h"

namespace qm::accurate {

int32_t AccuratePDF(Bytes job, Result& out) { return PassThrough("PDF", job, out); }

}  // namespace qm::accurate
