// main() of the sealing core's GoogleTest programs. A run that can test
// nothing says so and exits 77, which ctest reports as Skipped: a core
// this CPU does not run, or a program whose every case skipped. The reason
// goes out as "[skipped here: <reason>]", the mark every skip of the suite
// carries. A core this build does not have is an error, not a skip.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/seal/core.hpp"

namespace {

constexpr int SKIPPED = 77;

} // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    bool unknown = false;
    const aes128_core *core = named_core(&unknown);
    if (unknown) {
        std::fprintf(stderr, "this build has no core named %s\n", std::getenv("VORSEL_CORE"));
        return 1;
    }
    if (core != nullptr && !core->available) {
        std::printf("[skipped here: this CPU does not run the %s core]\n", core->name);
        return SKIPPED;
    }
    std::printf("core: %s\n", core != nullptr ? core->name : "the library's choice");
    const int status = RUN_ALL_TESTS();
    if (status == 0 && testing::UnitTest::GetInstance()->successful_test_count() == 0) {
        std::printf("[skipped here: no case of this program ran]\n");
        return SKIPPED;
    }
    return status;
}
