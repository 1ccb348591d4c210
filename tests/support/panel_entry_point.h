// Loads a panel library by path, as a host does, and returns its entry point.
#pragma once

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "script_frame/zarn_client.h"

// The library stays loaded for the rest of the program. One that cannot be
// loaded, or lacks the entry point, ends the program with a message: nothing
// can be tested or measured without it.
inline load_zarn_client_script_fn panelEntryPoint(const char* path) {
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    void* symbol = library ? dlsym(library, "load_zarn_client_script") : nullptr;
    if (!symbol) {
        std::fprintf(stderr, "cannot load the entry point of %s: %s\n", path, dlerror());
        std::abort();
    }
    return reinterpret_cast<load_zarn_client_script_fn>(symbol);
}
