// AES-128, the portable core. Constant-time: it is bitsliced, so no table
// is indexed and no branch is taken on key or data bytes, in the key
// schedule as in the rounds. Four blocks go side by side in eight 64-bit
// words; word i holds bit i of every byte, at bit 16 r + 4 c + lane for
// row r, column c. The S-box is a Boolean circuit (Boyar and Peralta, "A
// new combinational logic minimization technique with applications to
// cryptology", 2010); the word layout is the one of BearSSL's aes_ct64.
//
// Every call expands the raw key once, in the same bitsliced form (one lane
// of the schedule for each block of a group), into a working record on the
// stack that lives only for that call; no schedule is kept. No multiply,
// divide or remainder touches key or data (tests/check_portable_ops.sh).
#include "seal/aes128_cores.hpp"

#include <cstring>

namespace {

using u64 = std::uint64_t;

// The working record of one call: its schedule, and the group in hand.
struct aes128_ctx {
    u64 state[8];         // four blocks, bitsliced
    u64 round_key[11][8]; // round key r for every lane, bitsliced
    const std::uint8_t *key;
};

// SubBytes on all 64 bytes: Boyar and Peralta's circuit (x0 and s0 are the
// high bits).
inline void sub_bytes(u64 *q)
{
    const u64 x0 = q[7], x1 = q[6], x2 = q[5], x3 = q[4];
    const u64 x4 = q[3], x5 = q[2], x6 = q[1], x7 = q[0];

    // Top linear layer.
    const u64 y14 = x3 ^ x5, y13 = x0 ^ x6, y9 = x0 ^ x3, y8 = x0 ^ x5;
    const u64 t0 = x1 ^ x2, y1 = t0 ^ x7, y4 = y1 ^ x3, y12 = y13 ^ y14;
    const u64 y2 = y1 ^ x0, y5 = y1 ^ x6, y3 = y5 ^ y8, t1 = x4 ^ y12;
    const u64 y15 = t1 ^ x5, y20 = t1 ^ x1, y6 = y15 ^ x7, y10 = y15 ^ t0;
    const u64 y11 = y20 ^ y9, y7 = x7 ^ y11, y17 = y10 ^ y11, y19 = y10 ^ y8;
    const u64 y16 = t0 ^ y11, y21 = y13 ^ y16, y18 = x0 ^ y16;

    // Shared non-linear middle: inversion in GF(2^4) towers.
    const u64 t2 = y12 & y15, t3 = y3 & y6, t4 = t3 ^ t2, t5 = y4 & x7;
    const u64 t6 = t5 ^ t2, t7 = y13 & y16, t8 = y5 & y1, t9 = t8 ^ t7;
    const u64 t10 = y2 & y7, t11 = t10 ^ t7, t12 = y9 & y11, t13 = y14 & y17;
    const u64 t14 = t13 ^ t12, t15 = y8 & y10, t16 = t15 ^ t12, t17 = t4 ^ t14;
    const u64 t18 = t6 ^ t16, t19 = t9 ^ t14, t20 = t11 ^ t16, t21 = t17 ^ y20;
    const u64 t22 = t18 ^ y19, t23 = t19 ^ y21, t24 = t20 ^ y18;
    const u64 t25 = t21 ^ t22, t26 = t21 & t23, t27 = t24 ^ t26, t28 = t25 & t27;
    const u64 t29 = t28 ^ t22, t30 = t23 ^ t24, t31 = t22 ^ t26, t32 = t31 & t30;
    const u64 t33 = t32 ^ t24, t34 = t23 ^ t33, t35 = t27 ^ t33, t36 = t24 & t35;
    const u64 t37 = t36 ^ t34, t38 = t27 ^ t36, t39 = t29 & t38, t40 = t25 ^ t39;
    const u64 t41 = t40 ^ t37, t42 = t29 ^ t33, t43 = t29 ^ t40, t44 = t33 ^ t37;
    const u64 t45 = t42 ^ t41;
    const u64 z0 = t44 & y15, z1 = t37 & y6, z2 = t33 & x7, z3 = t43 & y16;
    const u64 z4 = t40 & y1, z5 = t29 & y7, z6 = t42 & y11, z7 = t45 & y17;
    const u64 z8 = t41 & y10, z9 = t44 & y12, z10 = t37 & y3, z11 = t33 & y4;
    const u64 z12 = t43 & y13, z13 = t40 & y5, z14 = t29 & y2, z15 = t42 & y9;
    const u64 z16 = t45 & y14, z17 = t41 & y8;

    // Bottom linear layer.
    const u64 t46 = z15 ^ z16, t47 = z10 ^ z11, t48 = z5 ^ z13, t49 = z9 ^ z10;
    const u64 t50 = z2 ^ z12, t51 = z2 ^ z5, t52 = z7 ^ z8, t53 = z0 ^ z3;
    const u64 t54 = z6 ^ z7, t55 = z16 ^ z17, t56 = z12 ^ t48, t57 = t50 ^ t53;
    const u64 t58 = z4 ^ t46, t59 = z3 ^ t54, t60 = t46 ^ t57, t61 = z14 ^ t57;
    const u64 t62 = t52 ^ t58, t63 = t49 ^ t58, t64 = z4 ^ t59, t65 = t61 ^ t62;
    const u64 t66 = z1 ^ t63, t67 = t64 ^ t65;
    const u64 s3 = t53 ^ t66;
    q[7] = t59 ^ t63;  // s0
    q[6] = t64 ^ ~s3;  // s1
    q[5] = t55 ^ ~t67; // s2
    q[4] = s3;
    q[3] = t51 ^ t66;  // s4
    q[2] = t47 ^ t65;  // s5
    q[1] = t56 ^ ~t62; // s6
    q[0] = t48 ^ ~t60; // s7
}

// The inverse of SubBytes' affine map (with its constant), bitsliced.
inline void inv_affine(u64 *q)
{
    const u64 q0 = ~q[0], q1 = ~q[1], q2 = q[2], q3 = q[3];
    const u64 q4 = q[4], q5 = ~q[5], q6 = ~q[6], q7 = q[7];
    q[7] = q1 ^ q4 ^ q6;
    q[6] = q0 ^ q3 ^ q5;
    q[5] = q7 ^ q2 ^ q4;
    q[4] = q6 ^ q1 ^ q3;
    q[3] = q5 ^ q0 ^ q2;
    q[2] = q4 ^ q7 ^ q1;
    q[1] = q3 ^ q6 ^ q0;
    q[0] = q2 ^ q5 ^ q7;
}

// InvSubBytes: the S-box is affine(inverse(x)), so its inverse is
// inv_affine(S(inv_affine(x))).
inline void inv_sub_bytes(u64 *q)
{
    inv_affine(q);
    sub_bytes(q);
    inv_affine(q);
}

// Swaps bits between pairs of words so that eight words of byte-ordered
// data become eight bit planes, and back (the transform is its own inverse).
inline void swap_bits(u64 &x, u64 &y, u64 low, int shift)
{
    const u64 a = x;
    const u64 b = y;
    x = (a & low) | ((b & low) << shift);
    y = ((a >> shift) & low) | (b & ~low);
}

inline void ortho(u64 *q)
{
    for (int i = 0; i < 8; i += 2) {
        swap_bits(q[i], q[i + 1], 0x5555555555555555U, 1);
    }
    swap_bits(q[0], q[2], 0x3333333333333333U, 2);
    swap_bits(q[1], q[3], 0x3333333333333333U, 2);
    swap_bits(q[4], q[6], 0x3333333333333333U, 2);
    swap_bits(q[5], q[7], 0x3333333333333333U, 2);
    for (int i = 0; i < 4; ++i) {
        swap_bits(q[i], q[i + 4], 0x0F0F0F0F0F0F0F0FU, 4);
    }
}

inline std::uint32_t load32(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline void store32(std::uint8_t *p, std::uint32_t w)
{
    p[0] = static_cast<std::uint8_t>(w);
    p[1] = static_cast<std::uint8_t>(w >> 8);
    p[2] = static_cast<std::uint8_t>(w >> 16);
    p[3] = static_cast<std::uint8_t>(w >> 24);
}

// Spreads a column's four bytes to bits 0, 16, 32 and 48.
inline u64 spread(std::uint32_t w)
{
    u64 x = w;
    x = (x | (x << 16)) & 0x0000FFFF0000FFFFU;
    return (x | (x << 8)) & 0x00FF00FF00FF00FFU;
}

inline std::uint32_t gather(u64 x)
{
    x &= 0x00FF00FF00FF00FFU;
    x = (x | (x >> 8)) & 0x0000FFFF0000FFFFU;
    return static_cast<std::uint32_t>(x | (x >> 16));
}

// Lane i of q from blocks[16 i ..] for i < count; lanes beyond count hold
// zeros.
void load_lanes(u64 q[8], const std::uint8_t *blocks, std::size_t count)
{
    for (std::size_t i = 0; i < 4; ++i) {
        if (i < count) {
            const std::uint8_t *b = blocks + 16 * i;
            q[i] = spread(load32(b)) | spread(load32(b + 8)) << 8;
            q[i + 4] = spread(load32(b + 4)) | spread(load32(b + 12)) << 8;
        } else {
            q[i] = 0;
            q[i + 4] = 0;
        }
    }
    ortho(q);
}

void store_lanes(std::uint8_t *blocks, std::size_t count, u64 q[8])
{
    ortho(q);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t *b = blocks + 16 * i;
        store32(b, gather(q[i]));
        store32(b + 4, gather(q[i + 4]));
        store32(b + 8, gather(q[i] >> 8));
        store32(b + 12, gather(q[i + 4] >> 8));
    }
}

inline void add_round_key(u64 *q, const u64 *rk)
{
    for (int i = 0; i < 8; ++i) {
        q[i] ^= rk[i];
    }
}

// Row r (bits 16 r ..) rotates left by r columns (4 bits a column).
inline void shift_rows(u64 *q)
{
    for (int i = 0; i < 8; ++i) {
        const u64 x = q[i];
        q[i] = (x & 0x000000000000FFFFU) | ((x & 0x00000000FFF00000U) >> 4) |
               ((x & 0x00000000000F0000U) << 12) | ((x & 0x0000FF0000000000U) >> 8) |
               ((x & 0x000000FF00000000U) << 8) | ((x & 0xF000000000000000U) >> 12) |
               ((x & 0x0FFF000000000000U) << 4);
    }
}

inline void inv_shift_rows(u64 *q)
{
    for (int i = 0; i < 8; ++i) {
        const u64 x = q[i];
        q[i] = (x & 0x000000000000FFFFU) | ((x & 0x000000000FFF0000U) << 4) |
               ((x & 0x00000000F0000000U) >> 12) | ((x & 0x000000FF00000000U) << 8) |
               ((x & 0x0000FF0000000000U) >> 8) | ((x & 0x000F000000000000U) << 12) |
               ((x & 0xFFF0000000000000U) >> 4);
    }
}

inline u64 rotr16(u64 x)
{
    return (x >> 16) | (x << 48);
}

inline u64 rotr32(u64 x)
{
    return (x >> 32) | (x << 32);
}

// MixColumns: bit plane i of 2a ^ 3b ^ c ^ d per column, rows rotated by
// whole 16-bit groups; the reduction by 0x1b folds plane 7 into 0, 1, 3, 4.
inline void mix_columns(u64 *q)
{
    u64 r[8];
    for (int i = 0; i < 8; ++i) {
        r[i] = rotr16(q[i]);
    }
    const u64 q0 = q[0], q1 = q[1], q2 = q[2], q3 = q[3];
    const u64 q4 = q[4], q5 = q[5], q6 = q[6], q7 = q[7];
    q[0] = q7 ^ r[7] ^ r[0] ^ rotr32(q0 ^ r[0]);
    q[1] = q0 ^ r[0] ^ q7 ^ r[7] ^ r[1] ^ rotr32(q1 ^ r[1]);
    q[2] = q1 ^ r[1] ^ r[2] ^ rotr32(q2 ^ r[2]);
    q[3] = q2 ^ r[2] ^ q7 ^ r[7] ^ r[3] ^ rotr32(q3 ^ r[3]);
    q[4] = q3 ^ r[3] ^ q7 ^ r[7] ^ r[4] ^ rotr32(q4 ^ r[4]);
    q[5] = q4 ^ r[4] ^ r[5] ^ rotr32(q5 ^ r[5]);
    q[6] = q5 ^ r[5] ^ r[6] ^ rotr32(q6 ^ r[6]);
    q[7] = q6 ^ r[6] ^ r[7] ^ rotr32(q7 ^ r[7]);
}

inline void inv_mix_columns(u64 *q)
{
    u64 r[8];
    for (int i = 0; i < 8; ++i) {
        r[i] = rotr16(q[i]);
    }
    const u64 q0 = q[0], q1 = q[1], q2 = q[2], q3 = q[3];
    const u64 q4 = q[4], q5 = q[5], q6 = q[6], q7 = q[7];
    const u64 r0 = r[0], r1 = r[1], r2 = r[2], r3 = r[3];
    const u64 r4 = r[4], r5 = r[5], r6 = r[6], r7 = r[7];
    q[0] = q5 ^ q6 ^ q7 ^ r0 ^ r5 ^ r7 ^ rotr32(q0 ^ q5 ^ q6 ^ r0 ^ r5);
    q[1] = q0 ^ q5 ^ r0 ^ r1 ^ r5 ^ r6 ^ r7 ^ rotr32(q1 ^ q5 ^ q7 ^ r1 ^ r5 ^ r6);
    q[2] = q0 ^ q1 ^ q6 ^ r1 ^ r2 ^ r6 ^ r7 ^ rotr32(q0 ^ q2 ^ q6 ^ r2 ^ r6 ^ r7);
    q[3] = q0 ^ q1 ^ q2 ^ q5 ^ q6 ^ r0 ^ r2 ^ r3 ^ r5 ^
           rotr32(q0 ^ q1 ^ q3 ^ q5 ^ q6 ^ q7 ^ r0 ^ r3 ^ r5 ^ r7);
    q[4] = q1 ^ q2 ^ q3 ^ q5 ^ r1 ^ r3 ^ r4 ^ r5 ^ r6 ^ r7 ^
           rotr32(q1 ^ q2 ^ q4 ^ q5 ^ q7 ^ r1 ^ r4 ^ r5 ^ r6);
    q[5] = q2 ^ q3 ^ q4 ^ q6 ^ r2 ^ r4 ^ r5 ^ r6 ^ r7 ^
           rotr32(q2 ^ q3 ^ q5 ^ q6 ^ r2 ^ r5 ^ r6 ^ r7);
    q[6] = q3 ^ q4 ^ q5 ^ q7 ^ r3 ^ r5 ^ r6 ^ r7 ^ rotr32(q3 ^ q4 ^ q6 ^ q7 ^ r3 ^ r6 ^ r7);
    q[7] = q4 ^ q5 ^ q6 ^ r4 ^ r6 ^ r7 ^ rotr32(q4 ^ q5 ^ q7 ^ r4 ^ r7);
}

// Rcon[1..10]: public constants, so testing their bits is no secret branch.
constexpr std::uint8_t RCON[11] = {0x00, 0x01, 0x02, 0x04, 0x08, 0x10,
                                   0x20, 0x40, 0x80, 0x1b, 0x36};

// FIPS-197 KeyExpansion for Nk = 4 in bitsliced form, for all four lanes
// at once: t = SubWord(RotWord(w3)) ^ Rcon, then w0 ^= t, w1 ^= w0, ...
void aes128_key_expansion(aes128_ctx *ctx)
{
    u64 k[8];
    std::uint8_t keys[4 * 16];
    for (int lane = 0; lane < 4; ++lane) {
        std::memcpy(keys + 16 * static_cast<std::size_t>(lane), ctx->key, 16);
    }
    load_lanes(k, keys, 4);
    std::memcpy(ctx->round_key[0], k, sizeof k);
    for (int round = 1; round <= 10; ++round) {
        u64 s[8];
        std::memcpy(s, k, sizeof s);
        sub_bytes(s);
        for (int i = 0; i < 8; ++i) {
            // Column 3 of every row copied into all four columns (shifts
            // and ORs: no multiply), then RotWord: row r takes row r + 1's.
            u64 t = s[i] & 0xF000F000F000F000U;
            t |= t >> 4;
            t = rotr16(t | t >> 8);
            if (((RCON[round] >> i) & 1) != 0) {
                t ^= 0xFFFFU; // row 0, every column and lane
            }
            u64 x = k[i]; // prefix XOR across the columns of each row
            x ^= (x << 4) & 0xFFF0FFF0FFF0FFF0U;
            x ^= (x << 8) & 0xFF00FF00FF00FF00U;
            k[i] = x ^ t;
        }
        std::memcpy(ctx->round_key[round], k, sizeof k);
    }
}

void aes128_cipher(aes128_ctx *ctx)
{
    u64 *q = ctx->state;
    add_round_key(q, ctx->round_key[0]);
    for (int round = 1; round <= 9; ++round) {
        sub_bytes(q);
        shift_rows(q);
        mix_columns(q);
        add_round_key(q, ctx->round_key[round]);
    }
    sub_bytes(q);
    shift_rows(q);
    add_round_key(q, ctx->round_key[10]);
}

void aes128_inv_cipher(aes128_ctx *ctx)
{
    u64 *q = ctx->state;
    add_round_key(q, ctx->round_key[10]);
    for (int round = 9; round >= 1; --round) {
        inv_shift_rows(q);
        inv_sub_bytes(q);
        add_round_key(q, ctx->round_key[round]);
        inv_mix_columns(q);
    }
    inv_shift_rows(q);
    inv_sub_bytes(q);
    add_round_key(q, ctx->round_key[0]);
}

// One call: the key expanded once, at the start, into a record on the
// stack that lives for this call only; then groups of up to four blocks
// through it, each read from `in` before it is written to `out`. The key is
// read before any block is written, so a key that lies inside the blocks
// gives the same output as a copy of it.
template <void (*pass)(aes128_ctx *)>
void run_groups(std::uint8_t *out, const std::uint8_t *in, std::size_t count, const std::uint8_t key[KEY_BYTES])
{
    aes128_ctx ctx;
    ctx.key = key;
    aes128_key_expansion(&ctx);
    for (std::size_t done = 0; done < count; done += 4) {
        const std::size_t n = count - done < 4 ? count - done : 4;
        load_lanes(ctx.state, in + 16 * done, n);
        pass(&ctx);
        store_lanes(out + 16 * done, n, ctx.state);
    }
}

} // namespace

void aes128_portable_encrypt_blocks(std::uint8_t *out, const std::uint8_t *in, std::size_t count,
                                    const std::uint8_t key[KEY_BYTES])
{
    run_groups<aes128_cipher>(out, in, count, key);
}

void aes128_portable_decrypt_blocks(std::uint8_t *out, const std::uint8_t *in, std::size_t count,
                                    const std::uint8_t key[KEY_BYTES])
{
    run_groups<aes128_inv_cipher>(out, in, count, key);
}
