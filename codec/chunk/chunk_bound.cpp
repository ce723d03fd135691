#include "codec/chunk/chunk_bound.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace kestova {

namespace {

// `value` printed with %.<digits>g.
std::string g(double value, int digits) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    return text;
}

// Why the finest setting's `reached` misses the sample bound less the margin.
std::string shortfall(const UnmetBound& u) {
    const SampleBound& b = u.bound;
    // What the samples may be off by before narrowing takes its share: for integers, up to just
    // below the next half unit.
    const double whole = b.samples + b.narrowing;
    if (u.reached > whole) {
        return b.integer ? ", which rounds beyond the bound " + g(b.elements, 6) +
                               " (the finest "
                               "setting's own error)"
                         : ", above the bound " + g(b.elements, 6) +
                               " (the finest setting's own "
                               "error)";
    }
    if (u.reached > b.samples) {
        return ", within the bound " + g(b.elements, 6) + " but not once float32 narrowing has " +
               "taken its " + g(b.narrowing, 6) + " of it";
    }
    return ", within the bound " + g(b.elements, 6) + " but not by the margin " + g(u.margin, 3) +
           " kept so that it holds on every processor path";
}

}  // namespace

SampleBound sample_bound(ElementType type, double absolute, double narrowing) {
    const bool integer = !is_float_type(type);
    const double judged = integer ? std::floor(absolute) + 0.5 : absolute;
    return {absolute, judged - narrowing, narrowing, integer};
}

std::string shortest_text(double value) {
    // Python writes the shortest digits in positional notation for exponents -4 to 15, with ".0"
    // after a whole number, and in scientific notation otherwise.
    char text[400];
    char* end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific).ptr;
    const std::string scientific(text, end);
    const auto e = scientific.find('e');
    const int exponent = e == std::string::npos ? 0 : std::stoi(scientific.substr(e + 1));
    if (!std::isfinite(value) || exponent < -4 || exponent >= 16) return scientific;
    end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
    std::string fixed(text, end);
    if (fixed.find('.') == std::string::npos) fixed += ".0";
    return fixed;
}

std::string unmet_message(const UnmetBound& u) {
    std::string text = std::string(u.relative ? "relative" : "absolute") + " max_error " +
                       shortest_text(u.max_error) + " cannot be met: ";
    if (u.bound.samples < 0) {
        text += "float32 narrowing alone moves the samples by up to " + g(u.bound.narrowing, 6) +
                ", above the bound " + g(u.bound.elements, 6);
    } else {
        text += "the finest setting (" + std::string(u.setting) + ") leaves a max error of " +
                g(u.reached, 6) + shortfall(u);
    }
    if (u.span > 0) {
        text += "; as fractions of the range " + g(u.span, 6) + ": " + g(u.reached / u.span, 3) +
                " reached, " + g(u.bound.elements / u.span, 3) + " asked";
    }
    return text;
}

}  // namespace kestova
