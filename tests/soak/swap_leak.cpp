// A deliberate leak for the soak tests to find: preloaded into the editor, it takes 1 KiB at every
// buffer swap, writes to it (so the pages become resident) and never gives it back.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

namespace {
constexpr std::size_t kLeakPerSwap = 1024;  // bytes lost at every frame
char* volatile lastBlock;                   // keeps the compiler from dropping the allocation
}  // namespace

extern "C" void glXSwapBuffers(void* display, unsigned long drawable) {
    using SwapFn = void (*)(void*, unsigned long);
    static const auto next = reinterpret_cast<SwapFn>(dlsym(RTLD_NEXT, "glXSwapBuffers"));
    char* block = static_cast<char*>(std::malloc(kLeakPerSwap));
    if (block != nullptr) std::memset(block, 1, kLeakPerSwap);
    lastBlock = block;
    if (next != nullptr) next(display, drawable);
}
