// SPDX-License-Identifier: MIT
// libFuzzer target: the vector reader on arbitrary bytes. Lines are read with
// a small length limit (so that over-long lines come up often); every line
// must be either rejected with a message or read into a call whose canonical
// form reads back to the same call and outcome, and nothing the reader keeps
// may outgrow the limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "vectors.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    constexpr std::size_t kLimit = 200;
    std::string line;
    for (kalmtool::LineRead r; (r = kalmtool::read_line(in, line, kLimit)) != kalmtool::LineRead::End;) {
        if (line.size() > kLimit) std::abort();
        if (r != kalmtool::LineRead::Line) continue;
        kalmtool::Vector v;
        std::string error;
        if (!kalmtool::parse_vector(line, v, error)) {
            if (error.empty()) std::abort();
            continue;
        }
        if (v.fn == nullptr) continue;
        if (line.find('\0') != std::string::npos) std::abort();
        const std::string canon = v.expected ? kalmtool::format_outcome(v, *v.expected) : v.input;
        kalmtool::Vector w;
        if (!kalmtool::parse_vector(canon, w, error)) std::abort();
        if (w.fn != v.fn || w.words != v.words || w.expected != v.expected || w.input != v.input) std::abort();
    }
    return 0;
}
