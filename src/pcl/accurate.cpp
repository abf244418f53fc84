// The accurate counts of this family's languages. Where a language's export
// already counts real jobs right, its record passes through.
#include "accurate/accurate.h"
#include "pcl/pcl_accurate.h"

namespace qm::accurate {

int32_t AccuratePCL(Bytes job, Result& out) { return pclaccurate::CountPcl5(job, out); }
int32_t AccuratePCLXL(Bytes job, Result& out) { return PassThrough("PCLXL", job, out); }
int32_t AccurateHPGL(Bytes job, Result& out) { return PassThrough("HPGL", job, out); }
int32_t AccurateUnixTextPCL(Bytes job, Result& out) { return PassThrough("UnixTextPCL", job, out); }

}  // namespace qm::accurate
