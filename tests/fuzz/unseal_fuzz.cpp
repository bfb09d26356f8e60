// libFuzzer target for the sealing core on raw buffers: unseal of arbitrary
// bytes under an arbitrary key, and seal-then-unseal of arbitrary payloads.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "seal/sealed_buffer.hpp"

namespace {

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < KEY_BYTES) {
        return 0;
    }
    const std::uint8_t *key = data;
    const auto length = static_cast<std::uint32_t>(size - KEY_BYTES);

    // An exact-size heap copy, so that any read past the end is caught.
    auto *buffer = static_cast<std::uint8_t *>(std::malloc(length + 1U));
    std::memcpy(buffer, data + KEY_BYTES, length);
    std::uint8_t pad = 0;
    std::uint32_t end = 0;
    if (unseal(buffer, length, key, &pad, &end) == 0) {
        check(length >= 16 && length % 16 == 0, "only whole blocks unseal");
        check(pad <= 15 && end == length - pad, "pad count and end offset");
        check(std::memcmp(buffer, SEAL_MAGIC, sizeof SEAL_MAGIC) == 0, "magic present");
    } else if (length < 16 || length % 16 != 0) {
        check(std::memcmp(buffer, data + KEY_BYTES, length) == 0, "a refused length is not touched");
    }
    std::free(buffer);

    // Seal the same bytes as a payload, then unseal them again.
    if (length >= 1) {
        const seal_sizes sizes = seal_layout(length);
        auto *sealed = static_cast<std::uint8_t *>(std::malloc(sizes.total));
        std::memcpy(sealed + SEAL_HEADER_SIZE, data + KEY_BYTES, length);
        seal_frame(sealed, length, sizes.pad);
        seal_encipher(sealed, sizes.total, key);
        check(unseal(sealed, sizes.total, key, &pad, &end) == 0, "sealed data unseals");
        check(end == SEAL_HEADER_SIZE + length, "payload length");
        check(std::memcmp(sealed + SEAL_HEADER_SIZE, data + KEY_BYTES, length) == 0, "payload bytes");
        std::free(sealed);
    }
    return 0;
}
