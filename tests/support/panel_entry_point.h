// Loads a panel library by path, as a host does, and returns its entry point.
#pragma once

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <zarn/zarn_client.h>

#include <cstdio>
#include <cstdlib>

// The library stays loaded for the rest of the program. One that cannot be
// loaded, or lacks the entry point, ends the program with a message: nothing
// can be tested or measured without it.
inline load_zarn_client_script_fn panelEntryPoint(const char* path) {
#ifdef _WIN32
    HMODULE library = LoadLibraryA(path);
    FARPROC symbol = library ? GetProcAddress(library, "load_zarn_client_script") : nullptr;
    if (!symbol) {
        std::fprintf(stderr, "cannot load the entry point of %s: error %lu\n", path, GetLastError());
        std::abort();
    }
    // A function pointer of one type to another, through void (*)() to quiet -Wcast-function-type.
    return reinterpret_cast<load_zarn_client_script_fn>(reinterpret_cast<void (*)()>(symbol));
#else
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    void* symbol = library ? dlsym(library, "load_zarn_client_script") : nullptr;
    if (!symbol) {
        std::fprintf(stderr, "cannot load the entry point of %s: %s\n", path, dlerror());
        std::abort();
    }
    return reinterpret_cast<load_zarn_client_script_fn>(symbol);
#endif
}
