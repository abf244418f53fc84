// Encrypted PDFs: libqpdf opens them with the empty user password and writes
// a decrypted copy in memory, which the accurate reader then counts like any
// other file. Files that need a real password are refused.
// Use std::shared_ptr throughout, without the old pointer holder.
#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>
#include <memory>

#include "pspdf/pdf_accurate_decrypt.h"

namespace qm::pdf {

int32_t DecryptCopy(Bytes pdf, std::string& out) {
    out.clear();
    try {
        QPDF q;
        q.setSuppressWarnings(true);
        q.processMemoryFile("job", reinterpret_cast<const char*>(pdf.data), pdf.size, "");
        QPDFWriter w(q);
        w.setOutputMemory();
        w.setPreserveEncryption(false);
        w.setStreamDataMode(qpdf_s_preserve);
        w.write();
        const std::shared_ptr<Buffer> b = w.getBufferSharedPointer();
        if (!b) return QM_E_NOT_UNDERSTOOD;
        out.assign(reinterpret_cast<const char*>(b->getBuffer()), b->getSize());
        return QM_OK;
    } catch (const QPDFExc& e) {
        return e.getErrorCode() == qpdf_e_password ? QM_E_ENCRYPTED : QM_E_NOT_UNDERSTOOD;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        return QM_E_NOT_UNDERSTOOD;
    }
}

}  // namespace qm::pdf
