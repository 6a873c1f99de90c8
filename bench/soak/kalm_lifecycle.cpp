// SPDX-License-Identifier: MIT
// The library's per-thread state and its unloading, in loops: threads created
// and ended with calls in between, and the shared library opened, called and
// closed. Memory and open handles must stay flat (measured after a tenth of
// the loop, when the allocator and loader have settled, and at its end), and
// every call must give the same bits as the first.
//   kalm_lifecycle threads N LIBRARY     N threads, one after another
//   kalm_lifecycle dlopen N LIBRARY      N dlopen/dlclose cycles
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "kalmlib/kalmlib.h"
#include "soak_common.hpp"

namespace {

using CallFn = int (*)(int, const std::uint32_t*, std::size_t, std::uint32_t*, std::size_t, std::uintptr_t);
using CwFn = void (*)(std::uint32_t);
using StatusFn = std::uint32_t (*)();
using ByNameFn = const kalm_export* (*)(const char*);

struct Api {
    CallFn call;
    CwFn set_control_word;
    StatusFn status;
    int ordinals[3];
};

bool bind(void* lib, Api& api) {
    api.call = reinterpret_cast<CallFn>(dlsym(lib, "kalm_call"));
    api.set_control_word = reinterpret_cast<CwFn>(dlsym(lib, "kalm_set_control_word"));
    api.status = reinterpret_cast<StatusFn>(dlsym(lib, "kalm_status"));
    const auto by_name = reinterpret_cast<ByNameFn>(dlsym(lib, "kalm_export_by_name"));
    if (!api.call || !api.set_control_word || !api.status || !by_name) return false;
    const char* names[3] = {"sin", "exp", "pow"};
    for (int i = 0; i < 3; ++i) api.ordinals[i] = by_name(names[i])->ordinal;
    return true;
}

// A few calls that touch the thread's state: control word, record, flags.
std::uint64_t calls(const Api& api) {
    const std::uint32_t args[4] = {0x54442D18u, 0x3FF921FBu, 0, 0x40000000u};
    std::uint32_t res[2] = {0, 0};
    std::uint64_t h = 0;
    api.set_control_word(0x1Fu);
    for (int ordinal : api.ordinals) {
        api.call(ordinal, args, 4, res, 2, 0x1000);
        h = h * 0x100000001B3ull ^ (res[0] | static_cast<std::uint64_t>(res[1]) << 32) ^ api.status();
    }
    return h;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: kalm_lifecycle threads|dlopen N LIBRARY\n");
        return 2;
    }
    const bool threads = std::strcmp(argv[1], "threads") == 0;
    const long n = std::atol(argv[2]);
    const char* path = argv[3];
    if ((!threads && std::strcmp(argv[1], "dlopen") != 0) || n < 10) {
        std::fprintf(stderr, "usage: kalm_lifecycle threads|dlopen N LIBRARY\n");
        return 2;
    }
    void* held = threads ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
    Api api{};
    if (threads && (held == nullptr || !bind(held, api))) {
        std::fprintf(stderr, "kalm_lifecycle: %s\n", dlerror());
        return 2;
    }
    std::uint64_t first = 0;
    long rss_settled = 0, fds_settled = 0, bad = 0;
    for (long i = 0; i < n; ++i) {
        std::uint64_t h = 0;
        if (threads) {
            std::thread t([&] { h = calls(api); });
            t.join();
        } else {
            void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
            Api a{};
            if (lib == nullptr || !bind(lib, a)) {
                std::fprintf(stderr, "kalm_lifecycle: cycle %ld: %s\n", i, dlerror());
                return 1;
            }
            h = calls(a);
            dlclose(lib);
        }
        if (i == 0) first = h;
        if (h != first) ++bad;
        if (i == n / 10) {
            rss_settled = kalmsoak::rss_kib();
            fds_settled = kalmsoak::open_handles();
        }
    }
    const long rss = kalmsoak::rss_kib(), fds = kalmsoak::open_handles();
    std::printf("%s x %ld: %ld different results, rss %ld -> %ld KiB, open handles %ld -> %ld\n", argv[1], n, bad,
                rss_settled, rss, fds_settled, fds);
    if (held) dlclose(held);
    // Flat: a 1 MiB allowance for the allocator's own drift, no handle more.
    return bad == 0 && rss <= rss_settled + 1024 && fds <= fds_settled ? 0 : 1;
}
