// The accurate counts of this family's languages. Where a language's export
// already counts real jobs right, its record passes through.
#include "accurate/accurate.h"
#include "pcl/pcl_accurate.h"
#include "pcl/pclxl_accurate.h"

namespace qm::accurate {

int32_t AccuratePCL(Bytes job, Result& out) { return pclaccurate::CountPcl5(job, out); }
// PCL XL: the export's record, already right on every corpus job, and each
// page's colour and paper from a walk of the stream.
int32_t AccuratePCLXL(Bytes job, Result& out) {
    const int32_t code = PassThrough("PCLXL", job, out);
    if (code == QM_OK) pclxlaccurate::LogPages(job, out.pages);
    return code;
}
// HP-GL/2 plots: pages and copies as the export counts them (advance-page and
// replot commands, Begin Plot), or the pages PCL ejects where the plot has no
// page command of its own. The plot size is read in plotter units (1016
// to the inch), and colour also from the raster passages of the plot
// (colour planes, configured image data).
int32_t AccurateHPGL(Bytes job, Result& out) {
    const int32_t code = PassThrough("HPGL", job, out);
    if (code != QM_OK) return code;
    Result pcl;
    pclaccurate::Pcl5Extras extras;
    extras.startsInHpgl = true;
    if (pclaccurate::CountPcl5(job, pcl, &extras) != QM_OK) return QM_OK;
    // A plot that only sets up HP-GL/2 and prints its pages from PCL (form
    // feeds, resets) has no advance-page command: its ejected pages count.
    if (out.rec.pages == 0) out.rec.pages = pcl.rec.pages;
    if (pcl.rec.color != 0 && out.rec.color == 0) {
        out.rec.color = 1;
        out.unknown |= pcl.unknown & QM_FIELD_COLOR;
    }
    if (!extras.pjlPaper && extras.plotWidth > 0.0) {
        out.rec.paperWidth = extras.plotWidth;
        out.rec.paperLength = extras.plotLength;
    }
    return QM_OK;
}
int32_t AccurateUnixTextPCL(Bytes job, Result& out) { return PassThrough("UnixTextPCL", job, out); }

}  // namespace qm::accurate
