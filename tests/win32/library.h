/* Loading a library and looking up its functions by name, the same calls on
 * both systems for the host programs: LoadLibraryA/GetProcAddress on Windows
 * (the DLL's name, found beside the program), dlopen/dlsym on Linux (the
 * shared library's path). */
#ifndef QM_TESTS_WIN32_LIBRARY_H
#define QM_TESTS_WIN32_LIBRARY_H

#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

typedef void (*AnyFunction)(void);

#if defined(_WIN32)
typedef HMODULE Library;

static Library OpenLibrary(const char* name) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    return LoadLibraryA(name);
}

static AnyFunction Symbol(Library library, const char* name) {
    return (AnyFunction)(void (*)(void))GetProcAddress(library, name);
}
#else
typedef void* Library;

static Library OpenLibrary(const char* name) { return dlopen(name, RTLD_NOW | RTLD_LOCAL); }

static AnyFunction Symbol(Library library, const char* name) {
    AnyFunction f;
    void* address = dlsym(library, name);
    memcpy(&f, &address, sizeof f);
    return address != NULL ? f : NULL;
}
#endif

#endif
