// The PDF reader's last error under a C name, for C callers and language
// bindings on Linux. The Windows DLL keeps only the C++ name.
#include "quirometer/quirometer.h"

#if !defined(_WIN32)
extern "C" QM_EXPORT void QuirometerPdfLastError(char* buffer, int size) { pdfreadLastError(buffer, size); }
#endif
