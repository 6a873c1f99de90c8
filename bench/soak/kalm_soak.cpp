// SPDX-License-Identifier: MIT
// kalm_soak: the library for a stated time across threads, every outcome
// checked. Each thread runs chunks of random operations (scalar calls under
// random control words, with a raise handler or without, batch calls under
// random caller environments, guest calls with a guest state of the thread's
// own); a chunk's operations come from (thread, chunk mod 64), and the digest
// of their outcomes must equal the one a single thread computed for the same
// seed before the threads started. Prints calls per second, mismatches and
// resident memory as it goes; exits 1 on any mismatch or on memory that grows.
//   kalm_soak [SECONDS=60] [THREADS=8]
#include <atomic>
#include <cfenv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "kalmlib/kalmlib.hpp"
#include "kalmlib/kalmlib_batch.h"
#include "soak_common.hpp"

namespace {

constexpr int kCycle = 64;      // distinct chunks per thread
constexpr int kChunkOps = 512;  // operations per chunk

struct Rng {
    std::uint64_t s;
    std::uint64_t next() {
        s += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = s;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Mostly ordinary magnitudes, sometimes any bits.
    std::uint64_t dbl() {
        const std::uint64_t r = next();
        if (r & 3) return (r & 0x800FFFFFFFFFFFFFull) | ((0x3C0ull + (r >> 56) % 0x90) << 52);
        return next();
    }
};

struct Digest {
    std::uint64_t h = 0xCBF29CE484222325ull;
    void add(std::uint64_t v) { h = (h ^ v) * 0x100000001B3ull; }
};

struct FirstRaise {
    std::uint32_t status = 0;
    std::uintptr_t where = 0;
};
void record_first(uint32_t status, int, uintptr_t ra, void* user) {
    auto* f = static_cast<FirstRaise*>(user);
    if (f->status == 0) *f = {status, ra};
}

const int kRounding[] = {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO};

// A caller environment: a rounding mode, and on x86-64 flush-to-zero and
// denormals-are-zero too. Returns what to put back.
unsigned enter_caller_env(Rng& rng) {
    const unsigned pick = static_cast<unsigned>(rng.next());
    std::fesetround(kRounding[pick % 4]);
#if defined(__x86_64__)
    const unsigned csr = _mm_getcsr();
    _mm_setcsr((csr & ~0x8040u) | ((pick & 4) ? 0x8040u : 0u));
    return csr;
#else
    return 0;
#endif
}
void leave_caller_env(unsigned saved) {
    std::fesetround(FE_TONEAREST);
#if defined(__x86_64__)
    _mm_setcsr(saved);
#else
    (void)saved;
#endif
}

struct GuestState {
    std::uint32_t status = 0, control = KALM_MASK_ALL;
};

// One operation, its outcome into d; returns the library calls it made.
int step(Rng& rng, Digest& d, GuestState& guest) {
    const std::uint64_t what = rng.next();
    const int ordinal = 1 + static_cast<int>((what >> 8) % 40);
    std::uint32_t args[4];
    const std::uint64_t a = rng.dbl(), b = rng.dbl();
    args[0] = static_cast<std::uint32_t>(a);
    args[1] = static_cast<std::uint32_t>(a >> 32);
    args[2] = static_cast<std::uint32_t>(b);
    args[3] = static_cast<std::uint32_t>(b >> 32);
    if (ordinal == 3) args[0] %= 64;  // _yn's order
    switch (what % 3) {
        case 0: {  // a scalar call
            FirstRaise first;
            const bool handler = (what >> 16) & 1;
            kalm_set_control_word(static_cast<std::uint32_t>(what >> 20) & KALM_MASK_ALL);
            kalm_set_raise_handler(handler ? &record_first : nullptr, &first);
            kalm_clear_flags();
            const unsigned env = enter_caller_env(rng);
            std::uint32_t res[2] = {0, 0};
            try {
                kalm_call(ordinal, args, 4, res, 2, 0x4000);
            } catch (const kalm::FpException& e) {
                first = {e.status_code() | 0x100u, e.report_address()};
            }
            leave_caller_env(env);
            d.add(res[0] | static_cast<std::uint64_t>(res[1]) << 32);
            d.add((kalm_status() & 0x1Du) | static_cast<std::uint64_t>(first.status) << 8);
            d.add(first.where == 0x4000 ? 1 : first.where == 0 ? 0 : 2);
            kalm_set_raise_handler(nullptr, nullptr);
            kalm_set_control_word(KALM_MASK_ALL);
            return 1;
        }
        case 1: {  // a batch call
            double x[16], y[16], out[16];
            float xf[16], of[16];
            for (int i = 0; i < 16; ++i) {
                std::uint64_t w = rng.dbl(), v = rng.dbl();
                std::memcpy(&x[i], &w, 8);
                std::memcpy(&y[i], &v, 8);
                const std::uint32_t f = static_cast<std::uint32_t>(w >> 29) ^ static_cast<std::uint32_t>(w);
                std::memcpy(&xf[i], &f, 4);
            }
            const unsigned env = enter_caller_env(rng);
            int rc = 0;
            switch ((what >> 16) % 6) {
                case 0: rc = kalm_batch_sin(x, out, 16); break;
                case 1: rc = kalm_batch_pow(x, y, out, 16); break;
                case 2: rc = kalm_batch_atan2(x, y, out, 16); break;
                case 3: rc = kalm_batch_expf(xf, of, 16); break;
                case 4: rc = kalm_batch_logf(xf, of, 16); break;
                default: rc = kalm_batch_y0(x, out, 16); break;
            }
            leave_caller_env(env);
            d.add(static_cast<std::uint64_t>(rc));
            const bool single = (what >> 16) % 6 == 3 || (what >> 16) % 6 == 4;
            for (int i = 0; i < 16; ++i) {
                std::uint64_t w = 0;
                if (single) std::memcpy(&w, &of[i], 4);
                else std::memcpy(&w, &out[i], 8);
                d.add(w);
            }
            return 1;
        }
        default: {  // a guest call
            if (((what >> 16) & 7) == 0) guest.control = static_cast<std::uint32_t>(what >> 24) & KALM_MASK_ALL;
            std::uint32_t res[2] = {0, 0};
            kalm_guest_raise raise{};
            const int rc = kalm_guest_call(ordinal, args, 4, res, 2, 0x8000, guest.control, &guest.status, &raise);
            d.add(static_cast<std::uint64_t>(rc) << 32 | guest.status);
            d.add(res[0] | static_cast<std::uint64_t>(res[1]) << 32);
            if (rc == KALM_GUEST_RAISED)
                d.add(raise.status_code | static_cast<std::uint64_t>(raise.internal_call) << 32 |
                      static_cast<std::uint64_t>(raise.report_address) << 40);
            return 1;
        }
    }
}

std::uint64_t run_chunk(int thread, int chunk, long& calls) {
    Rng rng{(static_cast<std::uint64_t>(thread) << 32) ^ static_cast<std::uint64_t>(chunk % kCycle) * 0x51ED27ull};
    Digest d;
    GuestState guest;
    for (int i = 0; i < kChunkOps; ++i) calls += step(rng, d, guest);
    return d.h;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    const int threads = argc > 2 ? std::atoi(argv[2]) : 8;
    if (seconds <= 0 || threads < 1 || threads > 256) {
        std::fprintf(stderr, "usage: kalm_soak [SECONDS] [THREADS]\n");
        return 2;
    }
    // The single-threaded replay every chunk is checked against.
    std::vector<std::uint64_t> want(static_cast<std::size_t>(threads) * kCycle);
    long replay_calls = 0;
    for (int t = 0; t < threads; ++t)
        for (int c = 0; c < kCycle; ++c) want[static_cast<std::size_t>(t) * kCycle + c] = run_chunk(t, c, replay_calls);

    std::atomic<bool> stop{false};
    std::atomic<long> calls{0}, mismatches{0}, chunks{0};
    std::vector<std::thread> pool;
    const auto t0 = std::chrono::steady_clock::now();
    const long rss0 = kalmsoak::rss_kib();
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            for (int c = 0; !stop.load(std::memory_order_relaxed); ++c) {
                long n = 0;
                if (run_chunk(t, c, n) != want[static_cast<std::size_t>(t) * kCycle + c % kCycle])
                    mismatches.fetch_add(1);
                calls.fetch_add(n, std::memory_order_relaxed);
                chunks.fetch_add(1, std::memory_order_relaxed);
            }
        });
    std::printf("kalm_soak: %d threads for %.0f s; replay of %ld calls; rss %ld KiB\n", threads, seconds, replay_calls,
                rss0);
    std::fflush(stdout);
    double elapsed = 0;
    long rss_mid = rss0;
    for (int tick = 1; elapsed < seconds; ++tick) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (tick % 300 == 0 || elapsed >= seconds) {
            if (tick == 300) rss_mid = kalmsoak::rss_kib();
            std::printf("  %6.0f s  %12ld calls  %9.0f calls/s  %ld mismatches  rss %ld KiB\n", elapsed, calls.load(),
                        calls.load() / elapsed, mismatches.load(), kalmsoak::rss_kib());
            std::fflush(stdout);
        }
    }
    stop = true;
    for (auto& th : pool) th.join();
    const long rss1 = kalmsoak::rss_kib();
    std::printf("done: %.0f s, %ld calls (%ld chunks), %.0f calls/s, %ld mismatches, rss %ld -> %ld KiB (at 60 s: %ld)\n",
                elapsed, calls.load(), chunks.load(), calls.load() / elapsed, mismatches.load(), rss0, rss1, rss_mid);
    // Flat: no more than 4 MiB over what it had after the first minute.
    return mismatches.load() != 0 || rss1 > rss_mid + 4096 ? 1 : 0;
}
