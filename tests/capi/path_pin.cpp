// The C tests' handle on the test-only processor-path override (engine/processor_path.h).
#include <optional>

#include "engine/processor_path.h"

extern "C" const char* pin_processor_path(int index) {
    static std::optional<Undra::ScopedIsaOverride> pinned;
    pinned.reset();
    const auto paths = Undra::supported_isas();
    if (index < 0 || static_cast<std::size_t>(index) >= paths.size()) return nullptr;
    pinned.emplace(paths[static_cast<std::size_t>(index)]);
    return Undra::isa_name(paths[static_cast<std::size_t>(index)]).data();
}
