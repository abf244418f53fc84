#include "quirometer/quirometer.h"

namespace {
constexpr char kVersion[] = "5.5.0.68.30";
}

extern "C" QM_EXPORT const char* QM_CDECL GetQuirometerVersion(void) { return kVersion; }
