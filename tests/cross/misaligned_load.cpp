// Loads from an address one byte past a word boundary, in the form the CPU
// is strict about: a word on MIPS, a doubleword on 32-bit ARM (whose plain
// word loads may be misaligned). Exits 0 when the load went through; on a
// CPU that traps it, it dies of SIGBUS. Run under qemu-user, this is the
// check that the cipher's misaligned-buffer test can fail there.
#include <cstdint>
#include <cstdio>

int main(int argc, char **)
{
    alignas(8) static unsigned char bytes[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const unsigned char *volatile p = bytes + argc; // argc is 1
#if defined(__arm__)
    std::uint64_t w = 0;
    __asm__ volatile("ldrd %Q0, %R0, [%1]" : "=r"(w) : "r"(p) : "memory");
#elif defined(__mips__)
    std::uint32_t w = 0;
    __asm__ volatile("lw %0, 0(%1)" : "=r"(w) : "r"(p) : "memory");
#else
    std::uint32_t w = 0;
    __builtin_memcpy(&w, const_cast<const unsigned char *>(p), sizeof w);
#endif
    std::printf("a misaligned load went through: %llx\n", static_cast<unsigned long long>(w));
    return 0;
}
