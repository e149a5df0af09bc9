#include "sources/ImageProbe.h"

#if defined(__SANITIZE_ADDRESS__)
// A hostile image may make libcdio ask for absurd amounts of memory: the
// probe answers as a release build does (the request fails) instead of
// reporting it, and leaks of a probe that ends at once do not matter.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1:detect_leaks=0";
}
#endif

int main(int argc, char** argv) {
  return imageprobe::probeMain(argc, argv);
}
