// Languages the accurate path counts that have no export: detection and the
// accurate count only. The exports' table (api/counter_table.h) and the
// DLL's export table stay as they are; accurate/languages.cpp joins these
// rows after the exports' rows into the accurate path's one table, so
// detection, the tags and aliases, the CLI, JSON and Python see them all.
// Each row's bid Bid<TAG> and accurate counter Accurate<TAG> are found by
// its tag, in its family's folder, as for the exports' languages.
#pragma once

// A(tag, language in words, group): the group of module-wide state the
// counter shares with others (Group::None for counters that keep none).
#define QM_ACCURATE_ONLY_TABLE(A) \
    A(PWGRaster, "PWG Raster (IPP Everywhere)", Group::None) \
    A(URF, "Apple Raster (URF)", Group::None) \
    A(CUPSRaster, "CUPS Raster, versions 1 to 3", Group::None) \
    A(PCLm, "PCLm (a PDF profile of raster strips)", Group::Pdf) \
    A(XQX, "XQX (HP LaserJet P1005/P1505/M1005 host-based stream)", Group::None) \
    A(LAVAFLOW, "LAVAFLOW (Konica Minolta magicolor 1600W/2530DL host-based stream)", Group::None) \
    A(HBPL, "HBPL version 2 (Dell, Xerox and Fuji Xerox host-based stream)", Group::None) \
    A(OPL, "OPL (Konica Minolta magicolor 2480 MF host-based stream)", Group::None) \
    A(PageProGDI, "Minolta PagePro 1200W-1400W host-based stream", Group::None) \
    A(M2300W, "Minolta magicolor 2300W/2400W host-based stream", Group::None) \
    A(DDST, "DDST (Ricoh SP 100/112/200 host-based stream)", Group::None) \
    A(CAPSL, "Canon CaPSL (Canon LBP page printers)", Group::None) \
    A(ESCPR, "Epson ESC/P-R (inkjet raster)", Group::None) \
    A(KodakESP, "Kodak ESP and Hero inkjet stream (c2esp)", Group::None) \
    A(ZPL, "Zebra ZPL II (label printers)", Group::None) \
    A(EPL, "Zebra EPL2, page mode (label printers)", Group::None) \
    A(CPCL, "Zebra CPCL (label printers)", Group::None) \
    A(Dymo, "Dymo LabelWriter raster", Group::None) \
    A(RicohGDI, "Ricoh GDI (Aficio SP 1000S/1100S host-based stream)", Group::None) \
    A(PTouch, "Brother P-touch and QL raster (label printers)", Group::None)
