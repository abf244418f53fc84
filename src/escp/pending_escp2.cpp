// Not built yet: answers E_NOTIMPL until its interpreter lands.
#include "quirometer/quirometer.h"

extern "C" QM_EXPORT int32_t QM_STDCALL GetTotalPageCount_ESCP2(const char*, PageCountResult*) {
    return static_cast<int32_t>(0x80004001);
}
