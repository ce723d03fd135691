// Replays the stored inputs of every fuzz target (tests/fuzz/regressions/<target>/: seeds and
// findings worth keeping) through the target's own checks, so that a finding stays fixed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "tests/fuzz/check_compress.h"
#include "tests/fuzz/check_decode_stream.h"
#include "tests/fuzz/check_decompress.h"
#include "tests/fuzz/check_hdf5_chunk.h"
#include "tests/fuzz/check_header.h"
#include "tests/fuzz/check_inflate.h"
#include "tests/fuzz/check_transforms.h"
#include "tests/fuzz/check_tuned.h"
#include "tests/fuzz/check_v2_decode.h"
#include "tests/fuzz/check_v2_encode.h"
#include "tests/fuzz/check_v2_rate.h"
#include "tests/fuzz/check_v2_sealed.h"

namespace {

using kestova::fuzz::CheckResult;
using kestova::fuzz::Input;

struct Target {
    const char* name;
    CheckResult (*check)(Input);

    friend void PrintTo(const Target& target, std::ostream* os) { *os << target.name; }
};

std::vector<uint8_t> read_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FuzzRegressions : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzRegressions, EveryStoredInputPassesTheTargetsChecks) {
    const auto dir = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() /
                     "fuzz" / "regressions" / GetParam().name;
    ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::vector<uint8_t> bytes = read_bytes(entry.path());
        const CheckResult result = GetParam().check(bytes);
        if (!result) ADD_FAILURE() << entry.path() << ": " << result.error();
        ++replayed;
    }
    EXPECT_GT(replayed, 0) << "no stored inputs in " << dir;
}

INSTANTIATE_TEST_SUITE_P(
    Targets, FuzzRegressions,
    ::testing::Values(Target{"fuzz_compress", kestova::fuzz::check_compress},
                      Target{"fuzz_decompress", kestova::fuzz::check_decompress},
                      Target{"fuzz_decode_stream", kestova::fuzz::check_decode_stream},
                      Target{"fuzz_header", kestova::fuzz::check_header},
                      Target{"fuzz_inflate", kestova::fuzz::check_inflate},
                      Target{"fuzz_hdf5_chunk", kestova::fuzz::check_hdf5_chunk},
                      Target{"fuzz_transforms", kestova::fuzz::check_transforms},
                      Target{"fuzz_tuned", kestova::fuzz::check_tuned},
                      Target{"fuzz_v2_decode", kestova::fuzz::check_v2_decode},
                      Target{"fuzz_v2_encode", kestova::fuzz::check_v2_encode},
                      Target{"fuzz_v2_sealed", kestova::fuzz::check_v2_sealed},
                      Target{"fuzz_v2_rate", kestova::fuzz::check_v2_rate}),
    [](const ::testing::TestParamInfo<Target>& info) { return std::string(info.param.name); });

}  // namespace
