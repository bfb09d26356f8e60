// Preloaded into an interpreter (LD_PRELOAD), this malloc (and realloc of
// nothing, which is how the stock Lua allocators ask for a new block) fails
// for the one size named by VORSEL_FAIL_MALLOC_SIZE and passes every other
// request to glibc. The tests that use it choose a size that only the
// block they mean to refuse has. With VORSEL_FAIL_MALLOC_TIMES=n it refuses
// that size n times only. With VORSEL_FAIL_MALLOC_SAY set, each refusal also
// writes "malloc refused" to standard error.
#include <cstddef>
#include <cstdlib>

#include <unistd.h>

extern "C" void *__libc_malloc(std::size_t size);
extern "C" void *__libc_realloc(void *ptr, std::size_t size);

namespace {

bool refused(std::size_t size)
{
    static long fail_size = -2; // not read yet; a racing second read is harmless
    static long times = -1;     // refusals left; -1: no end
    if (fail_size == -2) {
        const char *s = std::getenv("VORSEL_FAIL_MALLOC_SIZE");
        const char *t = std::getenv("VORSEL_FAIL_MALLOC_TIMES");
        fail_size = s != nullptr ? std::strtol(s, nullptr, 10) : -1;
        times = t != nullptr ? std::strtol(t, nullptr, 10) : -1;
    }
    if (fail_size < 0 || size != static_cast<std::size_t>(fail_size) || times == 0) {
        return false;
    }
    if (times > 0) {
        --times;
    }
    if (std::getenv("VORSEL_FAIL_MALLOC_SAY") != nullptr) {
        static_cast<void>(write(2, "malloc refused\n", 15));
    }
    return true;
}

} // namespace

extern "C" __attribute__((visibility("default"))) void *malloc(std::size_t size)
{
    return refused(size) ? nullptr : __libc_malloc(size);
}

extern "C" __attribute__((visibility("default"))) void *realloc(void *ptr, std::size_t size)
{
    return ptr == nullptr && refused(size) ? nullptr : __libc_realloc(ptr, size);
}
