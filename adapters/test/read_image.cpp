// SPDX-License-Identifier: MIT
#include <fstream>
#include <iterator>

#include "machine.hpp"

namespace kalmguest {

std::optional<std::vector<std::uint8_t>> read_image(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace kalmguest
