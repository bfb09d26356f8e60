// Hex text to bytes and back, for the cipher tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline std::vector<std::uint8_t> from_hex(const std::string &hex)
{
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

inline std::string to_hex(const std::uint8_t *bytes, std::size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

inline std::string to_hex(const std::vector<std::uint8_t> &bytes)
{
    return to_hex(bytes.data(), bytes.size());
}
