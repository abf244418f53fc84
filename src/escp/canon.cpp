// The Canon Bubble Jet entry point: alternates the ESC/P and raster runs over
// one stream, as the job asks, and reports what they counted together.
#include <cstring>

#include "escp/canon.h"

namespace qm::canon {

PageCountResult CountStream(CommandStream& stream) {
    PageCountResult rec;
    std::memset(&rec, 0, sizeof rec);  // one-sided: no command of either mode asks for two sides
    int mode = kEscpMode;
    while (stream.IsOpen()) {
        const int previousMode = mode;
        const uint32_t previousPosition = stream.Tell();
        if (mode == kEscpMode) {
            RunEscp(stream, mode, rec);
        } else if (mode == kRasterMode) {
            RunRaster(stream, mode, rec);
        } else {
            break;
        }
        // A run that neither read a byte nor switched modes would only
        // repeat itself.
        if (mode == previousMode && stream.Tell() == previousPosition) break;
    }
    return rec;
}

}  // namespace qm::canon

extern "C" QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_CANON(const char* path, PageCountResult* result) {
    if (result == nullptr) return QM_E_POINTER;
    try {
        qm::CommandStream stream;
        // A job that cannot be opened is a failure, not an empty job: the
        // host must not account it as zero pages. An empty path attaches no
        // file and fails the same way.
        if (!stream.Open(path) || !stream.IsOpen()) return qm::OpenFailureCode(path, stream.OpenError());
        const PageCountResult rec = qm::canon::CountStream(stream);
        stream.Close();
        *result = rec;
        return QM_OK;
    } catch (...) {
        return QM_E_FAIL;
    }
}
