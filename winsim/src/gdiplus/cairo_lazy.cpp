// The table of gdiplus/cairo_lazy.h, filled from the libraries on first use.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "gdiplus/cairo_lazy.h"

namespace winsim::detail {

namespace {

void* Open(const char* soname) {
  void* h = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    std::fprintf(stderr, "winsim: cannot load %s for drawing: %s\n", soname, dlerror());
    std::abort();
  }
  return h;
}

template <class Fn>
void Bind(void* library, const char* soname, const char* name, Fn* slot) {
  void* f = dlsym(library, name);
  if (!f) {
    std::fprintf(stderr, "winsim: %s has no %s\n", soname, name);
    std::abort();
  }
  *slot = reinterpret_cast<Fn>(f);
}

}  // namespace

const CairoApi& Cairo() {
  static const CairoApi api = [] {
    CairoApi a{};
    void* cairo = Open("libcairo.so.2");
#define WINSIM_CAIRO_BIND(f) Bind(cairo, "libcairo.so.2", #f, &a.f);
    WINSIM_CAIRO_FUNCTIONS(WINSIM_CAIRO_BIND)
#undef WINSIM_CAIRO_BIND
    Bind(Open("libfontconfig.so.1"), "libfontconfig.so.1", "FcFini", &a.FcFini);
    return a;
  }();
  return api;
}

}  // namespace winsim::detail
