// The scanners behind the memory-mapped entry points. Each reads bytes in
// memory and fills a record; none does I/O, so tests, fuzzers and benchmarks
// call them directly (through CountBytes, which applies the NUL skip).
#pragma once

#include "jobfile/jobview.h"

namespace qm {

int32_t ScanZIMF(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanLexmark(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanHBP(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanTCPL(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanPPA(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanOKI(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanZJSTREAM(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanTALLYSTREAM(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanOAKT(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanPANASONIC(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanESC_PAGE(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanPCL(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanPCLXL(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanPOSTSCRIPT(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanRPCS(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanIPDL(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanHPGL(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanCanonUFR(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanHIPERC(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanQPDL(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanLIDIL(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanCanonCAPT(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanBrotherNCM(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanPrintronixGL(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanFijiPhoto(Bytes job, uint32_t start, PageCountResult& rec);
int32_t ScanUnixTextPCL(Bytes job, uint32_t start, PageCountResult& rec);

}  // namespace qm
