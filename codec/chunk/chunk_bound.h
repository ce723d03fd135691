// One rule, for every surface, for what an error bound on a chunk's elements asks of its float32
// samples. The elements are judged as a reader gets them back: integers rounded to nearest and
// clipped (so any sample error below floor(bound) + 1/2 is within the bound), float64 against
// the float64 values (so the distance narrowing to float32 moved them is taken off the bound).
// The encoders then keep the path margin below what is left, so that the bound holds on every
// processor path a reader may decode on.
#pragma once

#include <string>
#include <string_view>

#include "codec/element_type.h"

namespace kestova {

struct SampleBound {
    double elements = 0.0;   // the bound on the elements, absolute, in their units
    double samples = 0.0;    // what |decoded - float32 sample| may reach; negative: unreachable
    double narrowing = 0.0;  // the largest |element - float32 sample|
    bool integer = false;
};

// The bound `absolute` on elements of `type` whose float32 samples are off by up to `narrowing`.
SampleBound sample_bound(ElementType type, double absolute, double narrowing);

// What an error bound asked, as the caller gave it, and what an encoder reached.
struct UnmetBound {
    double max_error = 0.0;  // as given: relative to `span` or absolute
    bool relative = false;
    double span = 0.0;  // max - min of the elements
    SampleBound bound;
    double margin = 0.0;       // the path margin kept below bound.samples
    std::string_view setting;  // the finest setting tried
    double reached = 0.0;      // its largest |decoded - float32 sample|
};

// The refusal of a bound not met, saying what was reached and why it was not enough: the finest
// setting's error itself, the narrowing to float32, or the path margin.
std::string unmet_message(const UnmetBound& unmet);

// `value` as Python's repr writes a float (the shortest text that reads back to it).
std::string shortest_text(double value);

}  // namespace kestova
