#include "gdal_lazy.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace kelo_tool {

void* GdalSymbol(const char* name) {
    static void* library = nullptr;
    if (library == nullptr) {
        library = dlopen(KELO_GDAL_LIBRARY, RTLD_NOW | RTLD_GLOBAL);
        if (library == nullptr) {
            std::fprintf(stderr, "kelo: cannot load GDAL (%s): %s\n", KELO_GDAL_LIBRARY, dlerror());
            std::exit(1);
        }
    }
    void* f = dlsym(library, name);
    if (f == nullptr) {
        std::fprintf(stderr, "kelo: GDAL has no function %s\n", name);
        std::exit(1);
    }
    return f;
}

}  // namespace kelo_tool
