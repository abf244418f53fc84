// Encrypted PDFs: libqpdf opens them with the empty user password and writes
// a decrypted copy in memory, which the accurate reader then counts like any
// other file. Files that need a real password are refused.
//
// libqpdf is loaded through its C interface the first time an encrypted file
// comes, not linked: a host that never counts one never loads it (nor the
// cryptography libraries it brings), and a host without it still counts
// every other PDF. On Windows the DLL of a qpdf build is looked for in the
// host's folder and the system folders (never the current folder).
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif
#include <qpdf/qpdf-c.h>

#include "pspdf/pdf_accurate_decrypt.h"

namespace qm::pdf {
namespace {

struct Qpdf {
    decltype(&qpdf_init) init = nullptr;
    decltype(&qpdf_cleanup) cleanup = nullptr;
    decltype(&qpdf_silence_errors) silence = nullptr;
    decltype(&qpdf_set_suppress_warnings) suppressWarnings = nullptr;
    decltype(&qpdf_read_memory) readMemory = nullptr;
    decltype(&qpdf_get_error) getError = nullptr;
    decltype(&qpdf_get_error_code) errorCode = nullptr;
    decltype(&qpdf_init_write_memory) writeMemory = nullptr;
    decltype(&qpdf_set_preserve_encryption) preserveEncryption = nullptr;
    decltype(&qpdf_set_stream_data_mode) streamDataMode = nullptr;
    decltype(&qpdf_write) write = nullptr;
    decltype(&qpdf_get_buffer_length) bufferLength = nullptr;
    decltype(&qpdf_get_buffer) buffer = nullptr;
    bool loaded = false;
};

#if defined(_WIN32)
using Module = HMODULE;
constexpr const char* kNames[] = {"qpdf29.dll", "libqpdf29.dll", "qpdf30.dll", "libqpdf30.dll", "qpdf28.dll",
                                  "libqpdf28.dll"};

Module Open(const char* name) { return ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS); }

template <typename F>
bool Symbol(Module lib, const char* name, F& f) {
    f = reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(lib, name)));
    return f != nullptr;
}
#else
using Module = void*;
constexpr const char* kNames[] = {"libqpdf.so.29", "libqpdf.so.30", "libqpdf.so.28", "libqpdf.so"};

Module Open(const char* name) { return dlopen(name, RTLD_NOW | RTLD_LOCAL); }

template <typename F>
bool Symbol(Module lib, const char* name, F& f) {
    f = reinterpret_cast<F>(dlsym(lib, name));
    return f != nullptr;
}
#endif

Qpdf Load() {
    Qpdf q;
    Module lib = nullptr;
    for (const char* name : kNames) {
        if ((lib = Open(name)) != nullptr) break;
    }
    if (lib != nullptr) {
        q.loaded = Symbol(lib, "qpdf_init", q.init) && Symbol(lib, "qpdf_cleanup", q.cleanup) &&
                   Symbol(lib, "qpdf_silence_errors", q.silence) &&
                   Symbol(lib, "qpdf_set_suppress_warnings", q.suppressWarnings) &&
                   Symbol(lib, "qpdf_read_memory", q.readMemory) && Symbol(lib, "qpdf_get_error", q.getError) &&
                   Symbol(lib, "qpdf_get_error_code", q.errorCode) &&
                   Symbol(lib, "qpdf_init_write_memory", q.writeMemory) &&
                   Symbol(lib, "qpdf_set_preserve_encryption", q.preserveEncryption) &&
                   Symbol(lib, "qpdf_set_stream_data_mode", q.streamDataMode) && Symbol(lib, "qpdf_write", q.write) &&
                   Symbol(lib, "qpdf_get_buffer_length", q.bufferLength) &&
                   Symbol(lib, "qpdf_get_buffer", q.buffer);
    }
    return q;
}

// The library, loaded once and kept for the life of the process.
const Qpdf& Library() {
    static const Qpdf q = Load();
    return q;
}

}  // namespace

int32_t DecryptCopy(Bytes pdf, std::string& out) {
    out.clear();
    const Qpdf& q = Library();
    if (!q.loaded) return QM_E_ENCRYPTED;  // nothing here can open it
    struct Handle {
        const Qpdf& q;
        qpdf_data d;
        // An error not taken before cleanup is printed to standard error.
        ~Handle() {
            q.getError(d);
            q.cleanup(&d);
        }
    } h{q, q.init()};
    q.silence(h.d);
    q.suppressWarnings(h.d, QPDF_TRUE);
    if (q.readMemory(h.d, "job", reinterpret_cast<const char*>(pdf.data), pdf.size, "") & QPDF_ERRORS) {
        return q.errorCode(h.d, q.getError(h.d)) == qpdf_e_password ? QM_E_ENCRYPTED : QM_E_NOT_UNDERSTOOD;
    }
    if (q.writeMemory(h.d) & QPDF_ERRORS) return QM_E_NOT_UNDERSTOOD;
    q.preserveEncryption(h.d, QPDF_FALSE);
    q.streamDataMode(h.d, qpdf_s_preserve);
    if (q.write(h.d) & QPDF_ERRORS) return QM_E_NOT_UNDERSTOOD;
    const unsigned char* b = q.buffer(h.d);
    if (b == nullptr) return QM_E_NOT_UNDERSTOOD;
    out.assign(reinterpret_cast<const char*>(b), q.bufferLength(h.d));
    return QM_OK;
}

}  // namespace qm::pdf
