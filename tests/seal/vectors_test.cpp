// The block cipher against published AES-128 known-answer data, read in place
// from tests/data/aes128-ecb (VORSEL_TESTDATA overrides its path). A missing
// folder or file is a failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "seal/aes128.hpp"
#include "tests/seal/core.hpp"
#include "tests/seal/hex.hpp"

namespace {

namespace fs = std::filesystem;
using fields = std::map<std::string, std::string>;

struct record {
    std::string section; // "[ENCRYPT]", "[DECRYPT]" or "" (Rijndael files)
    fields values;       // upper-case hex in the Rijndael files, lower-case in NIST's
};

fs::path data_dir()
{
    const char *env = std::getenv("VORSEL_TESTDATA");
    return env != nullptr ? fs::path(env) : fs::path(VORSEL_DEFAULT_TESTDATA);
}

std::string trim(const std::string &s)
{
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return "";
    }
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// Reads CAVP response files ("NAME = hex", CRLF line ends, [ENCRYPT] and
// [DECRYPT] sections, COUNT opening a record) and the Rijndael submission
// files ("NAME=hex", I opening a record, only the KEYSIZE=128 section used,
// values given before the first record applying to all records).
std::vector<record> read_records(const fs::path &path)
{
    std::ifstream in(path);
    std::vector<record> out;
    std::string line;
    std::string section;
    fields defaults;
    record current;
    bool in_record = false;
    bool skipping = false;
    auto flush = [&] {
        if (in_record && !current.values.empty()) {
            for (const auto &[k, v] : defaults) {
                current.values.emplace(k, v);
            }
            current.section = section;
            out.push_back(current);
        }
        current = record{};
        in_record = false;
    };
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty()) {
            flush();
            continue;
        }
        if (line.front() == '[') {
            flush();
            section = line;
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos || eq == 0) {
            continue;
        }
        const std::string name = trim(line.substr(0, eq));
        const std::string value = trim(line.substr(eq + 1));
        if (name == "KEYSIZE") {
            flush();
            defaults.clear();
            skipping = value != "128";
            continue;
        }
        if (skipping) {
            continue;
        }
        if (name == "COUNT" || name == "I") {
            flush();
            in_record = true;
        } else if (in_record) {
            current.values[name] = value;
        } else {
            defaults[name] = value;
        }
    }
    flush();
    return out;
}

const std::string &field(const record &r, const char *nist, const char *rijndael)
{
    const auto it = r.values.find(nist);
    return it != r.values.end() ? it->second : r.values.at(rijndael);
}

std::string lower(std::string s)
{
    for (auto &c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

void report(const fs::path &file, std::size_t blocks)
{
    std::printf("%zu vectors checked in %s\n", blocks, file.filename().c_str());
    ::testing::Test::RecordProperty("vectors", static_cast<int>(blocks));
}

// Every block of every record, in both directions. Returns the block count.
std::size_t check_known_answers(const fs::path &file)
{
    const auto records = read_records(file);
    EXPECT_FALSE(records.empty()) << file;
    std::size_t blocks = 0;
    for (const auto &r : records) {
        const auto key = from_hex(field(r, "KEY", "KEY"));
        const std::string plain = lower(field(r, "PLAINTEXT", "PT"));
        const std::string cipher = lower(field(r, "CIPHERTEXT", "CT"));
        EXPECT_EQ(plain.size(), cipher.size());
        // A record's blocks enciphered in one run at odd addresses (data
        // and key one byte off any word boundary), deciphered in one run
        // where the vectors are.
        const auto data_bytes = from_hex(plain);
        std::vector<std::uint8_t> odd(1 + data_bytes.size() + 2 + KEY_BYTES);
        std::uint8_t *odd_data = odd.data() + 1;
        std::uint8_t *odd_key = odd_data + data_bytes.size() + 2;
        std::copy(data_bytes.begin(), data_bytes.end(), odd_data);
        std::copy(key.begin(), key.begin() + KEY_BYTES, odd_key);
        core_encrypt_blocks(odd_data, data_bytes.size() / BLOCK_BYTES, odd_key);
        auto data = std::vector<std::uint8_t>(odd_data, odd_data + data_bytes.size());
        EXPECT_EQ(cipher, to_hex(data)) << file.filename() << " record " << r.values.begin()->second;
        core_decrypt_blocks(data.data(), data.size() / BLOCK_BYTES, key.data());
        EXPECT_EQ(plain, to_hex(data)) << file.filename();
        blocks += data.size() / BLOCK_BYTES;
    }
    return blocks;
}

// Monte Carlo records: from each record's key and input, `inner` chained
// block operations give its output. Encrypt sections (or files) run the
// cipher, decrypt ones the inverse.
std::size_t check_monte_carlo(const fs::path &file, int inner, bool decrypt_file)
{
    const auto records = read_records(file);
    EXPECT_FALSE(records.empty()) << file;
    for (const auto &r : records) {
        const bool decrypt = decrypt_file || r.section == "[DECRYPT]";
        const auto key = from_hex(field(r, "KEY", "KEY"));
        auto x = from_hex(decrypt ? field(r, "CIPHERTEXT", "CT") : field(r, "PLAINTEXT", "PT"));
        const std::string expected = lower(decrypt ? field(r, "PLAINTEXT", "PT")
                                                   : field(r, "CIPHERTEXT", "CT"));
        for (int i = 0; i < inner; ++i) {
            if (decrypt) {
                core_decrypt_block(x.data(), key.data());
            } else {
                core_encrypt_block(x.data(), key.data());
            }
        }
        EXPECT_EQ(expected, to_hex(x)) << file.filename();
    }
    return records.size();
}

class Vectors : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::is_directory(data_dir())) << "no test data at " << data_dir();
    }
    static fs::path file(const char *name) { return data_dir() / name; }
};

TEST_F(Vectors, NistKnownAnswers)
{
    for (const char *name : {"ECBGFSbox128.rsp", "ECBKeySbox128.rsp", "ECBVarKey128.rsp",
                             "ECBVarTxt128.rsp", "ECBMMT128.rsp", "SP800-38A-F1-ECB-AES128.rsp"}) {
        report(file(name), check_known_answers(file(name)));
    }
}

// The 128 blocks of ECBVarTxt128's encrypt section share one key: runs of
// every length from 1 to 40 blocks of them, from every start of a few,
// apart and in place, each direction, so that every shape of a wide core
// (its groups and its tails) meets the vectors.
TEST_F(Vectors, NistRunsOfEveryLengthTo40)
{
    std::vector<std::uint8_t> plain, cipher, key;
    for (const auto &r : read_records(file("ECBVarTxt128.rsp"))) {
        if (r.section == "[ENCRYPT]") {
            const auto k = from_hex(field(r, "KEY", "KEY"));
            ASSERT_TRUE(key.empty() || key == k) << "one key for the whole section";
            key = k;
            const auto p = from_hex(field(r, "PLAINTEXT", "PT")), c = from_hex(field(r, "CIPHERTEXT", "CT"));
            plain.insert(plain.end(), p.begin(), p.end());
            cipher.insert(cipher.end(), c.begin(), c.end());
        }
    }
    ASSERT_EQ(128U * BLOCK_BYTES, plain.size());
    std::size_t runs = 0;
    for (std::size_t count = 1; count <= 40; ++count) {
        for (const std::size_t start : {0U, 1U, 17U, 87U}) {
            const std::size_t at = start * BLOCK_BYTES, size = count * BLOCK_BYTES;
            const auto p = plain.begin() + static_cast<std::ptrdiff_t>(at);
            const auto c = cipher.begin() + static_cast<std::ptrdiff_t>(at);
            const std::vector<std::uint8_t> want_c(c, c + static_cast<std::ptrdiff_t>(size));
            const std::vector<std::uint8_t> want_p(p, p + static_cast<std::ptrdiff_t>(size));
            std::vector<std::uint8_t> out(size), inplace = want_p;
            core_encrypt_blocks_to(out.data(), want_p.data(), count, key.data());
            ASSERT_EQ(want_c, out) << "encrypt apart, " << count << " blocks from " << start;
            core_encrypt_blocks_to(inplace.data(), inplace.data(), count, key.data());
            ASSERT_EQ(want_c, inplace) << "encrypt in place, " << count << " blocks from " << start;
            core_decrypt_blocks_to(out.data(), want_c.data(), count, key.data());
            ASSERT_EQ(want_p, out) << "decrypt apart, " << count << " blocks from " << start;
            core_decrypt_blocks_to(inplace.data(), inplace.data(), count, key.data());
            ASSERT_EQ(want_p, inplace) << "decrypt in place, " << count << " blocks from " << start;
            ++runs;
        }
    }
    std::printf("%zu runs of 1 to 40 blocks checked in ECBVarTxt128.rsp\n", runs);
}

TEST_F(Vectors, NistMonteCarlo)
{
    report(file("ECBMCT128.rsp"), check_monte_carlo(file("ECBMCT128.rsp"), 1000, false));
}

TEST_F(Vectors, RijndaelKnownAnswers)
{
    for (const char *name : {"rijndael-submission/ecb_tbl.txt", "rijndael-submission/ecb_vk.txt",
                             "rijndael-submission/ecb_vt.txt"}) {
        report(file(name), check_known_answers(file(name)));
    }
}

TEST_F(Vectors, RijndaelIntermediateValuesEndToEnd)
{
    // Only the end points can be checked: the round states are internal.
    std::ifstream in(file("rijndael-submission/ecb_iv.txt"));
    std::string line;
    std::string key;
    std::string pt;
    std::string ct;
    while (std::getline(in, line) && line.rfind("KEYSIZE=192", 0) != 0) {
        line = trim(line);
        if (line.rfind("KEY=", 0) == 0) key = lower(line.substr(4));
        if (line.rfind("PT=", 0) == 0) pt = lower(line.substr(3));
        if (line.rfind("CT=", 0) == 0) ct = lower(line.substr(3));
    }
    ASSERT_EQ(32U, key.size());
    auto block = from_hex(pt);
    core_encrypt_block(block.data(), from_hex(key).data());
    EXPECT_EQ(ct, to_hex(block));
    core_decrypt_block(block.data(), from_hex(key).data());
    EXPECT_EQ(pt, to_hex(block));
    report(file("rijndael-submission/ecb_iv.txt"), 1);
}

TEST_F(Vectors, RijndaelMonteCarlo)
{
    report(file("rijndael-submission/ecb_e_m.txt"),
           check_monte_carlo(file("rijndael-submission/ecb_e_m.txt"), 10000, false));
    report(file("rijndael-submission/ecb_d_m.txt"),
           check_monte_carlo(file("rijndael-submission/ecb_d_m.txt"), 10000, true));
}

} // namespace
