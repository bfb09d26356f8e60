// AES-128 block cipher, byte-oriented: the only tables are the two S-boxes
// and the round constants. A column's four bytes are carried packed in one
// 32-bit word (row r in bits 8 r .. 8 r + 7) so that the rounds run on
// registers; every step still works byte by byte.
#include "seal/aes128.hpp"

#include <cstring>

namespace {

// ---- Constant tables, generated at compile time -------------------------

constexpr std::uint8_t rotl8(std::uint8_t x, int s)
{
    return static_cast<std::uint8_t>((x << s) | (x >> (8 - s)));
}

struct sbox_tables {
    std::uint8_t forward[256];
    std::uint8_t inverse[256];
};

// Walks the multiplicative group of GF(2^8) with p = 3^k and q = 3^-k, so q
// is p's inverse, then applies the affine transform of FIPS-197 5.1.1.
constexpr sbox_tables make_sboxes()
{
    sbox_tables t{};
    std::uint8_t p = 1;
    std::uint8_t q = 1;
    do {
        p = static_cast<std::uint8_t>(p ^ (p << 1) ^ ((p & 0x80) != 0 ? 0x1b : 0));
        q = static_cast<std::uint8_t>(q ^ (q << 1));
        q = static_cast<std::uint8_t>(q ^ (q << 2));
        q = static_cast<std::uint8_t>(q ^ (q << 4));
        if ((q & 0x80) != 0) {
            q = static_cast<std::uint8_t>(q ^ 0x09);
        }
        const auto s = static_cast<std::uint8_t>(
            q ^ rotl8(q, 1) ^ rotl8(q, 2) ^ rotl8(q, 3) ^ rotl8(q, 4) ^ 0x63);
        t.forward[p] = s;
        t.inverse[s] = p;
    } while (p != 1);
    t.forward[0] = 0x63;
    t.inverse[0x63] = 0;
    return t;
}

constexpr sbox_tables SBOXES = make_sboxes();
constexpr const std::uint8_t (&SBOX)[256] = SBOXES.forward;
constexpr const std::uint8_t (&INV_SBOX)[256] = SBOXES.inverse;

static_assert(SBOX[0x00] == 0x63 && SBOX[0x01] == 0x7c && SBOX[0x53] == 0xed &&
              SBOX[0x80] == 0xcd && SBOX[0xff] == 0x16);
static_assert(INV_SBOX[0x00] == 0x52 && INV_SBOX[0x63] == 0x00 && INV_SBOX[0xed] == 0x53 &&
              INV_SBOX[0xff] == 0x7d);

// Rcon[1..10]; entry 0 is never read.
constexpr std::uint8_t RCON[11] = {0x00, 0x01, 0x02, 0x04, 0x08, 0x10,
                                   0x20, 0x40, 0x80, 0x1b, 0x36};

// ---- Packed-column helpers ----------------------------------------------

// A column is read and written as one 32-bit access, byte 0 in the low
// bits whatever the host's byte order. Whole-word stores matter: round keys
// written a byte at a time and read back as words stall the store buffer.
inline bool host_is_little_endian()
{
    const std::uint32_t one = 1;
    std::uint8_t first = 0;
    std::memcpy(&first, &one, 1);
    return first == 1; // a constant once compiled
}

inline std::uint32_t from_little_endian(std::uint32_t w)
{
    if (host_is_little_endian()) {
        return w;
    }
    return ((w & 0xffU) << 24) | ((w & 0xff00U) << 8) | ((w >> 8) & 0xff00U) | (w >> 24);
}

inline std::uint32_t load_column(const std::uint8_t *p)
{
    std::uint32_t w = 0;
    std::memcpy(&w, p, sizeof w);
    return from_little_endian(w);
}

inline void store_column(std::uint8_t *p, std::uint32_t w)
{
    w = from_little_endian(w); // the swap is its own inverse
    std::memcpy(p, &w, sizeof w);
}

// Rotating right by 8 moves row r + 1 into row r.
inline std::uint32_t rotr(std::uint32_t w, int s)
{
    return (w >> s) | (w << (32 - s));
}

// xtime on each of the four bytes, without branches.
inline std::uint32_t xtime4(std::uint32_t w)
{
    return ((w & 0x7f7f7f7fU) << 1) ^ (((w >> 7) & 0x01010101U) * 0x1bU);
}

inline std::uint32_t sub_word(std::uint32_t w)
{
    return static_cast<std::uint32_t>(SBOX[w & 0xff]) |
           static_cast<std::uint32_t>(SBOX[(w >> 8) & 0xff]) << 8 |
           static_cast<std::uint32_t>(SBOX[(w >> 16) & 0xff]) << 16 |
           static_cast<std::uint32_t>(SBOX[w >> 24]) << 24;
}

// SubBytes and ShiftRows for one output column: row r comes from the column
// r places to the right. a is the column itself, b, c, d the next three.
inline std::uint32_t sub_shift(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return static_cast<std::uint32_t>(SBOX[a & 0xff]) |
           static_cast<std::uint32_t>(SBOX[(b >> 8) & 0xff]) << 8 |
           static_cast<std::uint32_t>(SBOX[(c >> 16) & 0xff]) << 16 |
           static_cast<std::uint32_t>(SBOX[d >> 24]) << 24;
}

// InvShiftRows and InvSubBytes for one output column: row r comes from the
// column r places to the left. a is the column itself, b, c, d the previous three.
inline std::uint32_t inv_sub_shift(std::uint32_t a, std::uint32_t b, std::uint32_t c,
                                   std::uint32_t d)
{
    return static_cast<std::uint32_t>(INV_SBOX[a & 0xff]) |
           static_cast<std::uint32_t>(INV_SBOX[(b >> 8) & 0xff]) << 8 |
           static_cast<std::uint32_t>(INV_SBOX[(c >> 16) & 0xff]) << 16 |
           static_cast<std::uint32_t>(INV_SBOX[d >> 24]) << 24;
}

// MixColumns: with t = a0 ^ a1 ^ a2 ^ a3, each ai becomes
// ai ^ t ^ xtime(ai ^ ai+1).
inline std::uint32_t mix_column(std::uint32_t w)
{
    const std::uint32_t u = w ^ rotr(w, 8);  // ai ^ ai+1
    const std::uint32_t t = u ^ rotr(u, 16); // a0 ^ a1 ^ a2 ^ a3 in every row
    return w ^ t ^ xtime4(u);
}

// xtime(xtime(x)) on each of the four bytes in one step: the two top bits
// each fold back their share of the reduction (1b for bit 6, 36 for bit 7).
inline std::uint32_t times4(std::uint32_t w)
{
    return ((w & 0x3f3f3f3fU) << 2) ^ (((w >> 6) & 0x01010101U) * 0x1bU) ^
           (((w >> 7) & 0x01010101U) * 0x36U);
}

// InvMixColumns as MixColumns after a pre-step: the inverse matrix is the
// forward one times {05 00 04 00} (circulant), i.e.
// ai ^= xtime(xtime(ai ^ ai+2)).
inline std::uint32_t inv_mix_column(std::uint32_t w)
{
    const std::uint32_t x = w ^ rotr(w, 16);
    return mix_column(w ^ times4(x));
}

// ---- The three steps of a block operation --------------------------------

// FIPS-197 KeyExpansion for Nk = 4, a round key (four words) at a time.
inline void aes128_key_expansion(aes128_ctx *ctx)
{
    std::uint8_t *rk = ctx->round_key;
    std::uint32_t w0 = load_column(ctx->key);
    std::uint32_t w1 = load_column(ctx->key + 4);
    std::uint32_t w2 = load_column(ctx->key + 8);
    std::uint32_t w3 = load_column(ctx->key + 12);
    store_column(rk, w0);
    store_column(rk + 4, w1);
    store_column(rk + 8, w2);
    store_column(rk + 12, w3);
    for (int round = 1; round <= 10; ++round) {
        // RotWord moves byte 1 to byte 0: a right rotation of the packed word.
        const std::uint32_t t = sub_word(rotr(w3, 8)) ^ RCON[round];
        // w[i] = w[i-1] ^ w[i-4], unrolled so that each new word is one XOR
        // away from t: the prefixes of the old words do not wait for it.
        const std::uint32_t p1 = w0 ^ w1;
        const std::uint32_t p2 = p1 ^ w2;
        const std::uint32_t p3 = p2 ^ w3;
        w0 ^= t;
        w1 = p1 ^ t;
        w2 = p2 ^ t;
        w3 = p3 ^ t;
        rk += 16;
        store_column(rk, w0);
        store_column(rk + 4, w1);
        store_column(rk + 8, w2);
        store_column(rk + 12, w3);
    }
}

inline void aes128_cipher(aes128_ctx *ctx)
{
    const std::uint8_t *rk = ctx->round_key;
    std::uint32_t c0 = load_column(ctx->state) ^ load_column(rk);
    std::uint32_t c1 = load_column(ctx->state + 4) ^ load_column(rk + 4);
    std::uint32_t c2 = load_column(ctx->state + 8) ^ load_column(rk + 8);
    std::uint32_t c3 = load_column(ctx->state + 12) ^ load_column(rk + 12);
#pragma GCC unroll 9
    for (int round = 1; round <= 9; ++round) {
        rk += 16;
        const std::uint32_t s0 = sub_shift(c0, c1, c2, c3);
        const std::uint32_t s1 = sub_shift(c1, c2, c3, c0);
        const std::uint32_t s2 = sub_shift(c2, c3, c0, c1);
        const std::uint32_t s3 = sub_shift(c3, c0, c1, c2);
        c0 = mix_column(s0) ^ load_column(rk);
        c1 = mix_column(s1) ^ load_column(rk + 4);
        c2 = mix_column(s2) ^ load_column(rk + 8);
        c3 = mix_column(s3) ^ load_column(rk + 12);
    }
    rk += 16;
    store_column(ctx->state, sub_shift(c0, c1, c2, c3) ^ load_column(rk));
    store_column(ctx->state + 4, sub_shift(c1, c2, c3, c0) ^ load_column(rk + 4));
    store_column(ctx->state + 8, sub_shift(c2, c3, c0, c1) ^ load_column(rk + 8));
    store_column(ctx->state + 12, sub_shift(c3, c0, c1, c2) ^ load_column(rk + 12));
}

inline void aes128_inv_cipher(aes128_ctx *ctx)
{
    const std::uint8_t *rk = ctx->round_key + 160;
    std::uint32_t c0 = load_column(ctx->state) ^ load_column(rk);
    std::uint32_t c1 = load_column(ctx->state + 4) ^ load_column(rk + 4);
    std::uint32_t c2 = load_column(ctx->state + 8) ^ load_column(rk + 8);
    std::uint32_t c3 = load_column(ctx->state + 12) ^ load_column(rk + 12);
#pragma GCC unroll 9
    for (int round = 9; round >= 1; --round) {
        rk -= 16;
        const std::uint32_t s0 = inv_sub_shift(c0, c3, c2, c1) ^ load_column(rk);
        const std::uint32_t s1 = inv_sub_shift(c1, c0, c3, c2) ^ load_column(rk + 4);
        const std::uint32_t s2 = inv_sub_shift(c2, c1, c0, c3) ^ load_column(rk + 8);
        const std::uint32_t s3 = inv_sub_shift(c3, c2, c1, c0) ^ load_column(rk + 12);
        c0 = inv_mix_column(s0);
        c1 = inv_mix_column(s1);
        c2 = inv_mix_column(s2);
        c3 = inv_mix_column(s3);
    }
    rk -= 16;
    store_column(ctx->state, inv_sub_shift(c0, c3, c2, c1) ^ load_column(rk));
    store_column(ctx->state + 4, inv_sub_shift(c1, c0, c3, c2) ^ load_column(rk + 4));
    store_column(ctx->state + 8, inv_sub_shift(c2, c1, c0, c3) ^ load_column(rk + 8));
    store_column(ctx->state + 12, inv_sub_shift(c3, c2, c1, c0) ^ load_column(rk + 12));
}

// One block operation: a fresh zero-filled record, the key expanded into it,
// one cipher pass over the state, the state copied back. Nothing survives.
template <void (*pass)(aes128_ctx *)>
inline void run_block(std::uint8_t block[BLOCK_BYTES], const std::uint8_t key[KEY_BYTES])
{
    aes128_ctx ctx;
    std::memset(&ctx, 0, sizeof ctx);
    ctx.key = key;
    std::memcpy(ctx.state, block, BLOCK_BYTES);
    aes128_key_expansion(&ctx);
    pass(&ctx);
    std::memcpy(block, ctx.state, BLOCK_BYTES);
}

} // namespace

void aes128_encrypt_block(std::uint8_t block[BLOCK_BYTES], const std::uint8_t key[KEY_BYTES])
{
    run_block<aes128_cipher>(block, key);
}

void aes128_decrypt_block(std::uint8_t block[BLOCK_BYTES], const std::uint8_t key[KEY_BYTES])
{
    run_block<aes128_inv_cipher>(block, key);
}
