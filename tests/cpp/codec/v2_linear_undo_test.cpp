// Undoing the linear method: frames of every tap count the decoder treats apart (below, at and
// above the split undo's range, up to kMaxTaps), extreme coefficients and shifts, indices at both
// ends of the range and frames of any length give back the indices the residuals came from, frame
// by frame as the decoder calls it or all at once; an index leaving the range anywhere in a run
// is refused. Exact arithmetic only (no processor-specific path), so one run covers all.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "codec/v2/linear_predictor.h"

namespace kestova::v2 {
namespace {

constexpr uint32_t kTop = 0xFFFFFFFFu;

Frame frame_of(int taps, int shift, const std::string& coefficients, std::mt19937& random) {
    Frame frame;
    frame.taps = static_cast<uint8_t>(taps);
    frame.shift = static_cast<uint8_t>(shift);
    for (int j = 0; j < taps; ++j) {
        int16_t c = static_cast<int16_t>(random());
        if (coefficients == "highest") c = INT16_MAX;
        if (coefficients == "lowest") c = INT16_MIN;
        if (coefficients == "alternating") c = j % 2 == 0 ? INT16_MIN : INT16_MAX;
        frame.coefficients[j] = c;
    }
    return frame;
}

std::vector<uint32_t> indices_of(const std::string& kind, std::size_t n, std::mt19937& random) {
    std::vector<uint32_t> k(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (kind == "extremes") k[i] = (i / 3 + i / 7) % 2 == 0 ? 0 : kTop;
        if (kind == "near zero") k[i] = random() % 4;
        if (kind == "near top") k[i] = kTop - random() % 4;
        if (kind == "anywhere") k[i] = static_cast<uint32_t>(random());
    }
    return k;
}

struct Case {
    std::vector<int> taps;  // one frame each
    int shift;
    std::string coefficients;
    std::string indices;
    std::size_t last_frame;  // the last frame's length
};

const Case kCases[] = {
    {{1, 2}, 0, "highest", "extremes", kFrame},
    {{2, 1}, 15, "lowest", "near top", 3},
    {{7, 8, 9}, 15, "alternating", "extremes", kFrame - 1},
    {{8, 16}, 0, "lowest", "extremes", 5},
    {{16, 16, 16}, 15, "highest", "extremes", 4},
    {{16, 0, 16}, 7, "random", "anywhere", 2},
    {{9, 12}, 3, "random", "near zero", kFrame - 3},
    {{17, 32}, 15, "alternating", "extremes", kFrame},
    {{32, 16}, 0, "random", "near top", 1},
    {{0, 12, 0}, 2, "random", "anywhere", 20},
};

TEST(V2LinearUndo, ResidualsUndoToTheirIndicesFrameByFrameOrAllAtOnce) {
    std::mt19937 random(7);
    for (const Case& c : kCases) {
        std::vector<Frame> frames;
        for (const int taps : c.taps)
            frames.push_back(frame_of(taps, c.shift, c.coefficients, random));
        const std::size_t n = (frames.size() - 1) * kFrame + c.last_frame;
        const auto k = indices_of(c.indices, n, random);
        std::vector<int64_t> residuals(n);
        LinearState encoding;
        linear_residuals(k, frames, encoding, residuals);

        auto whole = residuals;
        LinearState at_once;
        ASSERT_TRUE(undo_linear(whole, frames, at_once)) << c.indices << " " << c.coefficients;
        EXPECT_TRUE(std::equal(whole.begin(), whole.end(), k.begin()))
            << c.indices << " " << c.coefficients << " taps " << c.taps[0];

        auto pieces = residuals;
        LinearState by_frame;
        for (std::size_t f = 0; f < frames.size(); ++f) {
            const auto piece =
                std::span(pieces).subspan(f * kFrame, std::min(kFrame, n - f * kFrame));
            ASSERT_TRUE(undo_linear(piece, std::span(frames).subspan(f, 1), by_frame));
        }
        EXPECT_EQ(pieces, whole) << c.indices;
        EXPECT_EQ(by_frame.last, encoding.last);  // what the next block continues from
        EXPECT_EQ(by_frame.recent, encoding.recent);
        EXPECT_EQ(at_once.recent, encoding.recent);
    }
}

TEST(V2LinearUndo, AnIndexLeavingTheRangeIsRefusedWhereverItFalls) {
    std::mt19937 random(11);
    for (const int taps : {0, 1, 8, 16, 32}) {
        const std::vector<Frame> frames{frame_of(taps, 15, "random", random)};
        const auto k = indices_of("near top", 64, random);
        std::vector<int64_t> residuals(k.size());
        LinearState encoding;
        linear_residuals(k, frames, encoding, residuals);
        for (const std::size_t at : {0, 1, 2, 3, 4, 6, 63}) {
            for (const int64_t jump : {int64_t{1} << 33, -(int64_t{1} << 33)}) {
                auto values = residuals;
                values[at] += jump;
                LinearState state;
                EXPECT_FALSE(undo_linear(values, frames, state)) << taps << " taps, at " << at;
            }
        }
    }
}

}  // namespace
}  // namespace kestova::v2
