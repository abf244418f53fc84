// The one table of languages. Each row names a tag, its language, its
// ordinal in the DLL's export table and, for the memory-mapped counters, the
// leading-NUL rule; the export's scanner Scan<TAG>, the accurate counter
// Accurate<TAG> and the detection bid Bid<TAG> are found by the row's tag.
// registry.cpp expands it into the exports' table, accurate/languages.cpp
// into the accurate path's.
#pragma once

// Every counter, in ordinal order: M for the memory-mapped ones (tag,
// language, ordinal, leading-NUL rule, group, words for a rejected job), S for
// the stream-read ones, whose entry points live beside their readers.
#define QM_COUNTER_TABLE(M, S) \
    M(ZIMF, "ZIMF host-based printer stream", 10, kKeepLeadingNul, Group::None, "not a ZIMF job") \
    M(Lexmark, "Lexmark host-based printer stream", 11, kSkipLeadingNul, Group::None, kRejected) \
    M(HBP, "Brother HBP stream", 12, kSkipLeadingNul, Group::None, kRejected) \
    M(TCPL, "TCPL host-based printer stream", 13, kKeepLeadingNul, Group::None, kRejected) \
    M(PPA, "HP PPA host-based printer stream", 14, kSkipLeadingNul, Group::None, kRejected) \
    M(OKI, "Oki host-based printer stream", 15, kSkipLeadingNul, Group::None, kRejected) \
    M(ZJSTREAM, "ZjStream", 16, kKeepLeadingNul, Group::None, "not a ZjStream job") \
    M(TALLYSTREAM, "Tally host-based printer stream", 17, kKeepLeadingNul, Group::None, "not a Tally stream job") \
    M(OAKT, "Oak Technology host-based printer stream", 18, kKeepLeadingNul, Group::None, kRejected) \
    M(PANASONIC, "Panasonic host-based printer stream", 19, kKeepLeadingNul, Group::None, kRejected) \
    M(ESC_PAGE, "Epson ESC/Page", 20, kSkipLeadingNul, Group::None, kRejected) \
    M(PCL, "HP PCL 5 with PJL", 21, kSkipLeadingNul, Group::PclShared, kRejected) \
    M(PCLXL, "HP PCL XL with PJL", 22, kSkipLeadingNul, Group::None, kRejected) \
    M(POSTSCRIPT, "PostScript", 23, kSkipLeadingNul, Group::None, kRejected) \
    M(RPCS, "Ricoh RPCS", 24, kKeepLeadingNul, Group::None, kRejected) \
    M(IPDL, "Canon IPDL", 25, kKeepLeadingNul, Group::None, kRejected) \
    S(PDF, "PDF", 26, Group::Pdf, "not a readable PDF file") \
    M(HPGL, "HP-GL/2", 27, kSkipLeadingNul, Group::None, kRejected) \
    S(CANON, "Canon Bubble Jet command stream", 28, Group::Canon, "the Canon interpreter failed on this job") \
    S(ESCP2, "Epson ESC/P2", 29, Group::Escp2, "the ESC/P2 interpreter failed on this job") \
    M(CanonUFR, "Canon UFR", 30, kKeepLeadingNul, Group::None, kRejected) \
    M(HIPERC, "Oki HIPERC with PJL", 31, kKeepLeadingNul, Group::None, kRejected) \
    M(QPDL, "Samsung QPDL", 32, kSkipLeadingNul, Group::None, kRejected) \
    M(LIDIL, "HP LIDIL", 33, kSkipLeadingNul, Group::None, kRejected) \
    M(CanonCAPT, "Canon CAPT", 34, kKeepLeadingNul, Group::None, kRejected) \
    M(BrotherNCM, "Brother NCM stream", 35, kSkipLeadingNul, Group::None, kRejected) \
    M(PrintronixGL, "Printronix graphics", 36, kSkipLeadingNul, Group::None, kRejected) \
    M(FijiPhoto, "Fuji photo printer stream", 37, kKeepLeadingNul, Group::None, "a Fuji page record has a size code with no record length") \
    M(UnixTextPCL, "plain text sent to a PCL printer", 38, kSkipLeadingNul, Group::PclShared, kRejected)
