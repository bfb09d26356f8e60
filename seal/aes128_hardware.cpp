// AES-128 on the CPU's own AES instructions: AES-NI on x86-64 and i386,
// the ARMv8 Crypto Extensions on arm64 and on 32-bit ARM. The instructions
// are enabled per function (target attributes), so the module still builds
// for, and runs on, CPUs without them; aes128_hardware_available() tells,
// from what the C runtime detected once when the library was loaded
// (libgcc's CPU model, glibc's auxiliary vector): no CPUID per call, no
// lock. x86-64 has a wide core as well, on VAES (aes128_vaes_available(),
// from CPUID and XGETBV, read once at load into the one global here).
//
// Constant-time: the instructions take the same time whatever the key and
// data, and nothing here branches on or indexes by them. Each call expands
// the raw key once, into a schedule on the stack that lives for that call
// only (for decrypting, the equivalent inverse cipher's, through
// InvMixColumns); then eight blocks run side by side, enough to keep the
// CPU's AES units busy, and the rest one at a time (the wide core: sixteen
// blocks in eight 256-bit registers).
#include "seal/aes128_cores.hpp"

#include <cstdlib>
#include <cstring>

#if !defined(VORSEL_CIPHER_PORTABLE) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))

#include <cpuid.h>
#include <immintrin.h>

#define AESNI __attribute__((target("aes,ssse3")))

namespace {

// Rcon[1..10]; entry 0 is never read.
constexpr int RCON[11] = {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1b, 0x36};

// The next round key: t = SubWord(RotWord(w3)) ^ Rcon, by AESENCLAST on w3
// rotated into every column (ShiftRows then moves nothing), then
// w0 ^= t, w1 ^= w0, ... as prefix XORs over the whole key.
AESNI inline __m128i next_round_key(__m128i k, int rcon)
{
    const __m128i rot_word = _mm_setr_epi8(13, 14, 15, 12, 13, 14, 15, 12, 13, 14, 15, 12, 13, 14, 15, 12);
    const __m128i t = _mm_aesenclast_si128(_mm_shuffle_epi8(k, rot_word), _mm_set1_epi32(rcon));
    k = _mm_xor_si128(k, _mm_slli_si128(k, 4));
    k = _mm_xor_si128(k, _mm_slli_si128(k, 8));
    return _mm_xor_si128(k, t);
}

using round_key = __m128i;

// The schedule of one call: round keys 0 to 10, or for decrypting, the
// equivalent inverse cipher's (round key 10, then 9 to 1 through
// InvMixColumns, then 0).
AESNI inline void expand_key(const std::uint8_t *key, round_key rk[11], bool inverse)
{
    __m128i k[11];
    k[0] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(key));
#pragma GCC unroll 10
    for (int round = 1; round <= 10; ++round) {
        k[round] = next_round_key(k[round - 1], RCON[round]);
    }
    for (int round = 0; round <= 10; ++round) {
        const bool middle = round > 0 && round < 10;
        rk[round] = !inverse ? k[round] : middle ? _mm_aesimc_si128(k[10 - round]) : k[10 - round];
    }
}

template <std::size_t N>
AESNI inline void encrypt_lanes(std::uint8_t *out, const std::uint8_t *in, const round_key rk[11])
{
    __m128i s[N];
    for (std::size_t i = 0; i < N; ++i) {
        s[i] = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 16 * i)), rk[0]);
    }
#pragma GCC unroll 9
    for (int round = 1; round <= 9; ++round) {
        for (std::size_t i = 0; i < N; ++i) {
            s[i] = _mm_aesenc_si128(s[i], rk[round]);
        }
    }
    for (std::size_t i = 0; i < N; ++i) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 16 * i), _mm_aesenclast_si128(s[i], rk[10]));
    }
}

template <std::size_t N>
AESNI inline void decrypt_lanes(std::uint8_t *out, const std::uint8_t *in, const round_key dk[11])
{
    __m128i s[N];
    for (std::size_t i = 0; i < N; ++i) {
        s[i] = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 16 * i)), dk[0]);
    }
#pragma GCC unroll 9
    for (int round = 1; round <= 9; ++round) {
        for (std::size_t i = 0; i < N; ++i) {
            s[i] = _mm_aesdec_si128(s[i], dk[round]);
        }
    }
    for (std::size_t i = 0; i < N; ++i) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 16 * i), _mm_aesdeclast_si128(s[i], dk[10]));
    }
}

} // namespace

bool aes128_hardware_available()
{
    return __builtin_cpu_supports("aes") && __builtin_cpu_supports("ssse3");
}

#define VORSEL_HARDWARE_TARGET AESNI

#if defined(__x86_64__)

// The wide core: VAES runs the same rounds on 256-bit registers, two blocks
// per instruction, the round key broadcast to both halves. Sixteen blocks
// are in flight (eight registers), then four, then two, and the odd last
// block goes through AES-NI. The round keys stay 128-bit values in memory,
// broadcast by each round's load: a 256-bit value is never kept on the
// stack, whose 32-byte alignment GCC cannot promise on 64-bit Windows.
// Constant-time as the AES-NI core: only the block count steers it.
#define VAES __attribute__((target("aes,ssse3,avx,avx2,vaes")))

namespace {

template <std::size_t N, bool decrypt>
VAES inline void wide_lanes(std::uint8_t *out, const std::uint8_t *in, const round_key *rk)
{
    // The schedule's address made opaque, so that the broadcasts are not
    // hoisted out of the caller's loop into 256-bit values on the stack.
    __asm__("" : "+r"(rk));
    __m256i s[N];
    const __m256i first = _mm256_broadcastsi128_si256(rk[0]);
    for (std::size_t i = 0; i < N; ++i) {
        s[i] = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + 32 * i)), first);
    }
#pragma GCC unroll 9
    for (int round = 1; round <= 9; ++round) {
        const __m256i k = _mm256_broadcastsi128_si256(rk[round]);
        for (std::size_t i = 0; i < N; ++i) {
            s[i] = decrypt ? _mm256_aesdec_epi128(s[i], k) : _mm256_aesenc_epi128(s[i], k);
        }
    }
    const __m256i last = _mm256_broadcastsi128_si256(rk[10]);
    for (std::size_t i = 0; i < N; ++i) {
        s[i] = decrypt ? _mm256_aesdeclast_epi128(s[i], last) : _mm256_aesenclast_epi128(s[i], last);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 32 * i), s[i]);
    }
}

template <bool decrypt>
VAES inline void run_wide(std::uint8_t *out, const std::uint8_t *in, std::size_t count, const std::uint8_t *key)
{
    round_key rk[11];
    expand_key(key, rk, decrypt);
    for (; count >= 16; count -= 16, out += 256, in += 256) {
        wide_lanes<8, decrypt>(out, in, rk);
    }
    for (; count >= 4; count -= 4, out += 64, in += 64) {
        wide_lanes<2, decrypt>(out, in, rk);
    }
    if (count >= 2) {
        wide_lanes<1, decrypt>(out, in, rk);
        count -= 2, out += 32, in += 32;
    }
    if (count == 1) {
        (decrypt ? decrypt_lanes<1> : encrypt_lanes<1>)(out, in, rk);
    }
}

bool vaes_usable()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0) {
        return false;
    }
    const unsigned ecx1 = c;
    unsigned xcr0 = 0, high = 0;
    if ((ecx1 & bit_OSXSAVE) != 0) { // else XGETBV itself would fault
        __asm__ volatile("xgetbv" : "=a"(xcr0), "=d"(high) : "c"(0));
    }
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) != 0 && aes128_vaes_usable(ecx1, xcr0, b, c);
}

} // namespace

namespace {

// CPUID traps to the hypervisor in a virtual machine (some microseconds),
// so the CPU is asked once, when the library is loaded (as the C runtime
// asks it for the AES-NI test), before any thread can call a core.
bool vaes_found = false;

__attribute__((constructor)) void find_vaes()
{
    vaes_found = vaes_usable();
}

} // namespace

bool aes128_vaes_available()
{
    return vaes_found;
}

bool aes128_vaes_usable(std::uint32_t ecx1, std::uint32_t xcr0, std::uint32_t ebx7, std::uint32_t ecx7)
{
    const bool aes = (ecx1 & bit_AES) != 0 && (ecx1 & bit_SSSE3) != 0;
    // YMM registers: AVX, and a system that saves the SSE and YMM state (XCR0 bits 1 and 2).
    const bool ymm = (ecx1 & bit_AVX) != 0 && (ecx1 & bit_OSXSAVE) != 0 && (xcr0 & 6) == 6;
    return aes && ymm && (ebx7 & bit_AVX2) != 0 && (ecx7 & bit_VAES) != 0;
}

VAES void aes128_vaes_encrypt_blocks(std::uint8_t *out, const std::uint8_t *in, std::size_t count,
                                     const std::uint8_t key[KEY_BYTES])
{
    run_wide<false>(out, in, count, key);
}

VAES void aes128_vaes_decrypt_blocks(std::uint8_t *out, const std::uint8_t *in, std::size_t count,
                                     const std::uint8_t key[KEY_BYTES])
{
    run_wide<true>(out, in, count, key);
}

#define VORSEL_VAES_CORE
#endif

#elif !defined(VORSEL_CIPHER_PORTABLE) && defined(__GNUC__) &&                                             \
    ((defined(__aarch64__) &&                                                                              \
      (defined(__linux__) || defined(__FreeBSD__) || defined(__APPLE__) || defined(_WIN32))) ||             \
     (defined(__arm__) && defined(__linux__) && !defined(__clang__)))

// The same core in both ARM instruction sets: A64 on arm64, and the A32/T32
// forms for a 32-bit userland on an ARMv8 CPU (GCC only: clang's
// arm_neon.h for 32-bit ARM wants NEON for the whole file, where this file
// must build for CPUs without it).
#include <arm_neon.h>
#if defined(__linux__) || defined(__FreeBSD__)
#include <sys/auxv.h>
#elif defined(_WIN32)
#include <windows.h>
#endif

#if defined(__aarch64__)
#ifndef HWCAP_AES
#define HWCAP_AES (1 << 3) // the same bit on Linux and FreeBSD
#endif
#if defined(__clang__)
#define ARMCE __attribute__((target("crypto")))
#else
#define ARMCE __attribute__((target("+crypto")))
#endif
#define AES_OP(insn) insn " %0.16b, %1.16b"
#define AES_MIX(insn) insn " %0.16b, %0.16b"
#else
// 32-bit ARM, Linux: the Crypto Extensions are told in AT_HWCAP2, NEON in AT_HWCAP.
constexpr unsigned long A32_HWCAP_NEON = 1UL << 12;
constexpr unsigned long A32_HWCAP2_AES = 1UL << 0;
#define ARMCE __attribute__((target("arch=armv8-a,fpu=crypto-neon-fp-armv8")))
#define AES_OP(insn) insn ".8 %q0, %q1"
#define AES_MIX(insn) insn ".8 %q0, %q0"
#endif

namespace {

// The four AES instructions, as inline assembly: GCC and clang accept it
// alike in a function with the target attribute, where clang's arm_neon.h
// (before clang 16) offers the intrinsics only to code built for the
// extension throughout.
ARMCE inline uint8x16_t aese(uint8x16_t s, uint8x16_t k)
{
    __asm__(AES_OP("aese") : "+w"(s) : "w"(k));
    return s;
}

ARMCE inline uint8x16_t aesd(uint8x16_t s, uint8x16_t k)
{
    __asm__(AES_OP("aesd") : "+w"(s) : "w"(k));
    return s;
}

ARMCE inline uint8x16_t aesmc(uint8x16_t s)
{
    __asm__(AES_MIX("aesmc") : "+w"(s));
    return s;
}

ARMCE inline uint8x16_t aesimc(uint8x16_t s)
{
    __asm__(AES_MIX("aesimc") : "+w"(s));
    return s;
}

constexpr std::uint32_t RCON[11] = {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1b, 0x36};

// The next round key: AESE with a zero key on w3 copied into every column
// is SubWord in every column (ShiftRows moves nothing); RotWord is a byte
// rotation of the word; then w0 ^= t, w1 ^= w0, ... as prefix XORs.
ARMCE inline uint8x16_t next_round_key(uint8x16_t k, std::uint32_t rcon)
{
    const uint8x16_t w3 = vreinterpretq_u8_u32(vdupq_n_u32(vgetq_lane_u32(vreinterpretq_u32_u8(k), 3)));
    const uint32x4_t sub = vreinterpretq_u32_u8(aese(w3, vdupq_n_u8(0)));
    const uint32x4_t t = veorq_u32(vorrq_u32(vshrq_n_u32(sub, 8), vshlq_n_u32(sub, 24)), vdupq_n_u32(rcon));
    const uint8x16_t zero = vdupq_n_u8(0);
    k = veorq_u8(k, vextq_u8(zero, k, 12));
    k = veorq_u8(k, vextq_u8(zero, k, 8));
    return veorq_u8(k, vreinterpretq_u8_u32(t));
}

using round_key = uint8x16_t;

// As on x86: round keys 0 to 10, or the equivalent inverse cipher's.
ARMCE inline void expand_key(const std::uint8_t *key, round_key rk[11], bool inverse)
{
    uint8x16_t k[11];
    k[0] = vld1q_u8(key);
#pragma GCC unroll 10
    for (int round = 1; round <= 10; ++round) {
        k[round] = next_round_key(k[round - 1], RCON[round]);
    }
    for (int round = 0; round <= 10; ++round) {
        const bool middle = round > 0 && round < 10;
        rk[round] = !inverse ? k[round] : middle ? aesimc(k[10 - round]) : k[10 - round];
    }
}

// AESE is AddRoundKey, ShiftRows and SubBytes; AESMC is MixColumns.
template <std::size_t N>
ARMCE inline void encrypt_lanes(std::uint8_t *out, const std::uint8_t *in, const round_key rk[11])
{
    uint8x16_t s[N];
    for (std::size_t i = 0; i < N; ++i) {
        s[i] = vld1q_u8(in + 16 * i);
    }
#pragma GCC unroll 9
    for (int round = 0; round <= 8; ++round) {
        for (std::size_t i = 0; i < N; ++i) {
            s[i] = aesmc(aese(s[i], rk[round]));
        }
    }
    for (std::size_t i = 0; i < N; ++i) {
        vst1q_u8(out + 16 * i, veorq_u8(aese(s[i], rk[9]), rk[10]));
    }
}

// AESD is AddRoundKey, InvShiftRows and InvSubBytes; AESIMC is InvMixColumns.
template <std::size_t N>
ARMCE inline void decrypt_lanes(std::uint8_t *out, const std::uint8_t *in, const round_key dk[11])
{
    uint8x16_t s[N];
    for (std::size_t i = 0; i < N; ++i) {
        s[i] = vld1q_u8(in + 16 * i);
    }
#pragma GCC unroll 9
    for (int round = 0; round <= 8; ++round) {
        for (std::size_t i = 0; i < N; ++i) {
            s[i] = aesimc(aesd(s[i], dk[round]));
        }
    }
    for (std::size_t i = 0; i < N; ++i) {
        vst1q_u8(out + 16 * i, veorq_u8(aesd(s[i], dk[9]), dk[10]));
    }
}

} // namespace

// Only the detection differs by system.
bool aes128_hardware_available()
{
#if defined(__arm__)
    return (getauxval(AT_HWCAP2) & A32_HWCAP2_AES) != 0 && (getauxval(AT_HWCAP) & A32_HWCAP_NEON) != 0;
#elif defined(__linux__) // Android too
    return (getauxval(AT_HWCAP) & HWCAP_AES) != 0;
#elif defined(__FreeBSD__)
    unsigned long hwcap = 0;
    return elf_aux_info(AT_HWCAP, &hwcap, sizeof hwcap) == 0 && (hwcap & HWCAP_AES) != 0;
#elif defined(__APPLE__)
    return true; // every Apple arm64 CPU has the AES instructions
#else
    return IsProcessorFeaturePresent(PF_ARM_V8_CRYPTO_INSTRUCTIONS_AVAILABLE) != 0;
#endif
}

#define VORSEL_HARDWARE_TARGET ARMCE

#endif

#if defined(VORSEL_HARDWARE_TARGET)

namespace {

// The schedule first, from the key as it is at the start (so a key that
// lies inside the blocks acts as a copy of it); then eight blocks side by
// side while there are eight, and one at a time after, each group read
// from `in` before it is written to `out`.
constexpr std::size_t LANES = 8;

template <bool decrypt>
VORSEL_HARDWARE_TARGET inline void run_lanes(std::uint8_t *out, const std::uint8_t *in, std::size_t count,
                                             const std::uint8_t *key)
{
    round_key rk[11];
    expand_key(key, rk, decrypt);
    for (; count >= LANES; count -= LANES, out += 16 * LANES, in += 16 * LANES) {
        decrypt ? decrypt_lanes<LANES>(out, in, rk) : encrypt_lanes<LANES>(out, in, rk);
    }
    for (; count > 0; --count, out += 16, in += 16) {
        decrypt ? decrypt_lanes<1>(out, in, rk) : encrypt_lanes<1>(out, in, rk);
    }
}

} // namespace

VORSEL_HARDWARE_TARGET void aes128_hardware_encrypt_blocks(std::uint8_t *out, const std::uint8_t *in,
                                                           std::size_t count, const std::uint8_t key[KEY_BYTES])
{
    run_lanes<false>(out, in, count, key);
}

VORSEL_HARDWARE_TARGET void aes128_hardware_decrypt_blocks(std::uint8_t *out, const std::uint8_t *in,
                                                           std::size_t count, const std::uint8_t key[KEY_BYTES])
{
    run_lanes<true>(out, in, count, key);
}

#endif

#if !defined(VORSEL_VAES_CORE)

// No wide core in this build (it is for x86-64 alone): never available,
// and a call all the same is stopped.
bool aes128_vaes_available()
{
    return false;
}

bool aes128_vaes_usable(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t)
{
    return false;
}

void aes128_vaes_encrypt_blocks(std::uint8_t *, const std::uint8_t *, std::size_t, const std::uint8_t *)
{
    std::abort();
}

void aes128_vaes_decrypt_blocks(std::uint8_t *, const std::uint8_t *, std::size_t, const std::uint8_t *)
{
    std::abort();
}

#endif

#if !defined(VORSEL_HARDWARE_TARGET)

// No AES instructions in this build: the core is never available, and a
// call that comes all the same is a fault of the caller's, stopped here
// rather than answered by another core under this one's name.
bool aes128_hardware_available()
{
    return false;
}

void aes128_hardware_encrypt_blocks(std::uint8_t *, const std::uint8_t *, std::size_t, const std::uint8_t *)
{
    std::abort();
}

void aes128_hardware_decrypt_blocks(std::uint8_t *, const std::uint8_t *, std::size_t, const std::uint8_t *)
{
    std::abort();
}

#endif
