// What every seed generator shares: the corpus directory from the command line, and writing one
// seed file into it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace kestova::fuzz {

// The corpus directory, the one argument; nothing (usage printed) when it is missing.
inline std::optional<std::string> corpus_directory(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s corpus-directory\n", argv[0]);
        return std::nullopt;
    }
    return std::string(argv[1]);
}

// Writes `bytes` as the file `name` in `directory`.
inline void write_seed(const std::string& directory, const std::string& name,
                       const std::vector<uint8_t>& bytes) {
    std::ofstream(directory + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

}  // namespace kestova::fuzz
