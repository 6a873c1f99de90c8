// SPDX-License-Identifier: MIT
// kalm_bands: ns per call of two builds of the library and of the host libm,
// side by side in one run, over magnitude bands [a, 2a] (a = 1, 10, 1e3, 1e6,
// 1e15, 1e300 where the type reaches) and the usual [-10, 10]. Made to show
// how the cost grows with the argument, and what a speed change did to it.
//
//   kalm_bands OLD.so NEW.so [--reps N] [--ms T] [--lo A] [NAME...]
//     NAME: one-argument exports (default sinf cosf tanf sin cos tan)
// Per band and repetition the three sides run in the order old, new, libm,
// libm, new, old (rotated each time), so that a machine that speeds up or slows
// down weighs on all alike; the table gives medians over the repetitions, the
// new/old ratio as the median of the per-repetition ratios, and its median
// absolute deviation ("disp") as the noise figure.
#include <dlfcn.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kInputs = 512;  // a power of two; the arrays stay in L1

using D1 = double (*)(double);
using F1 = float (*)(float);

struct Side {
    void* fn = nullptr;
    bool single = false;
};

struct Band {
    double lo, hi;
    const char* label;
};

constexpr Band kBands[] = {
    {-10, 10, "[-10,10]"},      {1, 2, "[1,2]"},           {10, 20, "[10,20]"},
    {1e3, 2e3, "[1e3,2e3]"},    {1e6, 2e6, "[1e6,2e6]"},   {1e15, 2e15, "[1e15,2e15]"},
    {1e300, 2e300, "[1e300,2e300]"},
};

std::uint64_t next(std::uint64_t& s) {
    s += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = s;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

struct Inputs {
    std::vector<double> x;
    std::vector<float> fx;
    std::vector<std::uint64_t> xb;
    std::vector<std::uint32_t> fxb;
    mutable std::vector<double> out = std::vector<double>(kInputs);
    mutable std::vector<float> fout = std::vector<float>(kInputs);
};

Inputs make_inputs(const Band& b, std::uint64_t seed) {
    Inputs in;
    for (int i = 0; i < kInputs; ++i) {
        const double u = static_cast<double>(next(seed) >> 11) * 0x1p-53;
        const double x = b.lo + (b.hi - b.lo) * u;
        in.x.push_back(x);
        in.fx.push_back(static_cast<float>(x));
        in.xb.push_back(std::bit_cast<std::uint64_t>(x));
        in.fxb.push_back(std::bit_cast<std::uint32_t>(static_cast<float>(x)));
    }
    return in;
}

template <class T>
inline void opaque(T& v) {
    asm volatile("" : "+r"(v));
}

__attribute__((noinline)) void run_tput(const Side& s, const Inputs& in, long passes) {
    void* fn = s.fn;
    for (long p = 0; p < passes; ++p) {
        opaque(fn);
        if (s.single)
            for (int i = 0; i < kInputs; ++i) in.fout[i] = reinterpret_cast<F1>(fn)(in.fx[i]);
        else
            for (int i = 0; i < kInputs; ++i) in.out[i] = reinterpret_cast<D1>(fn)(in.x[i]);
        asm volatile("" ::: "memory");
    }
}

// Each argument is the next input with the previous result folded in through
// a mask that is zero at run time, so that every call waits for the last.
__attribute__((noinline)) double run_lat(const Side& s, const Inputs& in, long passes) {
    std::uint64_t mask = 0;
    std::uint32_t fmask = 0;
    opaque(mask);
    opaque(fmask);
    void* fn = s.fn;
    opaque(fn);
    double v = in.x[0];
    float fv = in.fx[0];
    for (long p = 0; p < passes; ++p)
        for (int i = 0; i < kInputs; ++i) {
            const int j = (i + 1) & (kInputs - 1);
            if (s.single) {
                const float r = reinterpret_cast<F1>(fn)(fv);
                fv = std::bit_cast<float>(in.fxb[j] | (std::bit_cast<std::uint32_t>(r) & fmask));
            } else {
                const double r = reinterpret_cast<D1>(fn)(v);
                v = std::bit_cast<double>(in.xb[j] | (std::bit_cast<std::uint64_t>(r) & mask));
            }
        }
    return v + static_cast<double>(fv);
}

double g_sink = 0;

double timed(const Side& s, const Inputs& in, bool latency, long passes) {
    const auto t0 = std::chrono::steady_clock::now();
    if (latency) g_sink += run_lat(s, in, passes);
    else run_tput(s, in, passes);
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
    return ns / (static_cast<double>(passes) * kInputs);
}

long calibrate(const Side& s, const Inputs& in, bool latency, double ms) {
    timed(s, in, latency, 1);
    const double per_pass = timed(s, in, latency, 1) * kInputs;
    return std::clamp(static_cast<long>(ms * 1e6 / std::max(per_pass, 1.0)), 1L, 1000000L);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}
double dispersion(const std::vector<double>& v) {
    const double m = median(v);
    std::vector<double> d;
    for (double x : v) d.push_back(std::fabs(x - m));
    return m > 0 ? median(d) / m : 0;
}

void* open_or_die(const char* path) {
    void* h = dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
    if (!h) {
        std::fprintf(stderr, "kalm_bands: %s\n", dlerror());
        std::exit(3);
    }
    return h;
}

void* symbol_or_die(void* h, const std::string& name) {
    void* f = dlsym(h, name.c_str());
    if (!f) {
        std::fprintf(stderr, "kalm_bands: %s: %s\n", name.c_str(), dlerror());
        std::exit(2);
    }
    return f;
}

int usage() {
    std::fprintf(stderr, "usage: kalm_bands OLD.so NEW.so [--reps N] [--ms T] [--lo A] [NAME...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    int reps = 5;
    double ms = 20, only_lo = NAN;
    std::vector<std::string> names;
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--reps" || a == "--ms" || a == "--lo") && i + 1 < argc) {
            const double v = std::atof(argv[++i]);
            if (a == "--reps") reps = std::max(1, static_cast<int>(v));
            else if (a == "--ms") ms = std::max(1.0, v);
            else only_lo = v;
        } else if (!a.empty() && a[0] == '-') {
            return usage();
        } else {
            names.push_back(a);
        }
    }
    if (names.empty()) names = {"sinf", "cosf", "tanf", "sin", "cos", "tan"};
    void* lib[2] = {open_or_die(argv[1]), open_or_die(argv[2])};
    void* libm = open_or_die("libm.so.6");
    // Everything masked in both builds: the usual setting, no raise.
    using SetCw = void (*)(std::uint32_t);
    for (void* h : lib) reinterpret_cast<SetCw>(symbol_or_die(h, "kalm_set_control_word"))(0x1F);

    std::printf("%-5s %-14s | %8s %8s %8s %6s %8s | %8s %8s %8s %6s %8s\n", "name", "band", "old ns", "new ns",
                "new/old", "disp", "libm ns", "old lat", "new lat", "new/old", "disp", "libm lat");
    for (const std::string& name : names) {
        const bool single = name.back() == 'f';  // every single export's name ends in f, no double's does
        // The device's _y0 and _y1 are kalm_y0 and kalm_y1, and y0 and y1 in the host libm.
        const std::string stem = name[0] == '_' ? name.substr(1) : name;
        Side side[3];
        side[0] = {symbol_or_die(lib[0], "kalm_" + stem), single};
        side[1] = {symbol_or_die(lib[1], "kalm_" + stem), single};
        side[2] = {symbol_or_die(libm, stem), single};
        std::uint64_t seed = 0x5eed;
        for (const char* c = name.c_str(); *c; ++c) seed = seed * 131 + static_cast<unsigned char>(*c);
        for (const Band& b : kBands) {
            if (!std::isnan(only_lo) && b.lo != only_lo) continue;
            if (single && b.hi > 3.4e38) continue;
            const Inputs in = make_inputs(b, seed);
            double col[2][5];  // [tput/lat][old, new, ratio, disp, libm]
            for (int m = 0; m < 2; ++m) {
                long passes[3];
                for (int s = 0; s < 3; ++s) passes[s] = calibrate(side[s], in, m == 1, ms);
                std::vector<double> ns[3], ratio;
                for (int r = 0; r < reps; ++r) {
                    double sum[3] = {0, 0, 0};
                    static constexpr int order[6] = {0, 1, 2, 2, 1, 0};
                    for (int k = 0; k < 6; ++k) {
                        const int s = (order[k] + r) % 3;
                        sum[s] += timed(side[s], in, m == 1, passes[s]);
                    }
                    for (int s = 0; s < 3; ++s) ns[s].push_back(sum[s] / 2);
                    ratio.push_back(sum[1] / sum[0]);
                }
                col[m][0] = median(ns[0]);
                col[m][1] = median(ns[1]);
                col[m][2] = median(ratio);
                col[m][3] = dispersion(ratio);
                col[m][4] = median(ns[2]);
            }
            std::printf("%-5s %-14s | %8.1f %8.1f %7.2fx %5.1f%% %8.1f | %8.1f %8.1f %7.2fx %5.1f%% %8.1f\n",
                        name.c_str(), b.label, col[0][0], col[0][1], col[0][2], col[0][3] * 100, col[0][4], col[1][0],
                        col[1][1], col[1][2], col[1][3] * 100, col[1][4]);
            std::fflush(stdout);
        }
    }
    return g_sink == 12345.678 ? 1 : 0;
}
