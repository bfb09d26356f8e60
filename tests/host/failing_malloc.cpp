// Preloaded into an interpreter (LD_PRELOAD), this malloc fails for the one
// size named by VORSEL_FAIL_MALLOC_SIZE and passes every other request to
// glibc. The module's buffer is the only block of that size in the tests
// that use it, so it shows what a failed buffer allocation does.
#include <cstddef>
#include <cstdlib>

extern "C" void *__libc_malloc(std::size_t size);

extern "C" __attribute__((visibility("default"))) void *malloc(std::size_t size)
{
    static long fail_size = -2; // not read yet; a racing second read is harmless
    if (fail_size == -2) {
        const char *s = std::getenv("VORSEL_FAIL_MALLOC_SIZE");
        fail_size = s != nullptr ? std::strtol(s, nullptr, 10) : -1;
    }
    if (fail_size >= 0 && size == static_cast<std::size_t>(fail_size)) {
        return nullptr;
    }
    return __libc_malloc(size);
}
