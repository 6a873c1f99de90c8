// SPDX-License-Identifier: MIT
// What the soak and lifecycle loops watch: resident memory and open handles.
#pragma once

#include <cstdio>
#include <filesystem>

namespace kalmsoak {

// Resident set in KiB (Linux /proc), -1 where it cannot be read.
inline long rss_kib() {
    long pages = -1, resident = -1;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = -1;
        std::fclose(f);
    }
    return resident < 0 ? -1 : resident * 4;
}

// Open file descriptors, -1 where they cannot be counted.
inline long open_handles() {
    std::error_code ec;
    long n = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec); !ec && it != decltype(it)(); it.increment(ec))
        ++n;
    return ec ? -1 : n;
}

}  // namespace kalmsoak
