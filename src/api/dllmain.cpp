// Module entry of the Windows DLL: thread notifications are turned off and
// nothing else is built at load or freed at unload.
#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
        case DLL_PROCESS_DETACH:
        case DLL_THREAD_ATTACH:
        case DLL_THREAD_DETACH:
            ::DisableThreadLibraryCalls(module);
            break;
        default:
            break;
    }
    return TRUE;
}
#endif
