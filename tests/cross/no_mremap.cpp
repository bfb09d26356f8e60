// Preloaded (qemu-user's -E LD_PRELOAD=) into the interpreters that run
// under qemu-user, this mremap refuses every request with ENOMEM, as the
// kernel may, so the caller falls back to allocate, copy and free.
//
// Debian 12's qemu-user (7.2) gets a shrinking mremap wrong: after LuaJIT's
// allocator shrank a 5.5 MB region of adjacent mappings in place on i386,
// the first page past its old end, a mapping of its own that no call had
// touched, faulted (SEGV_ACCERR) when LuaJIT freed it on lua_close. The
// same binaries run natively never fault, and with this preloaded the
// emulated runs never did either.
#include <cerrno>
#include <cstddef>

#include <sys/mman.h>

extern "C" __attribute__((visibility("default"))) void *mremap(void *, std::size_t, std::size_t, int, ...)
{
    errno = ENOMEM;
    return MAP_FAILED;
}
