// SPDX-License-Identifier: MIT
// The batch entries (kalmlib_batch.h): arguments that are refused, every vector
// line through them on every instruction set this CPU runs and under every
// caller environment, random arguments of every export against the scalar
// export, two threads batching at once, and the sqrt/sqrtf kernels called
// directly on their band edges, tails and random arguments (every float, and
// 10^8 random doubles, with KALM_BATCH_EXHAUSTIVE=1).
#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "abi/batch_kernels.hpp"
#include "abi/exports.hpp"
#include "batch_vectors.hpp"
#include "host/cpu_features.hpp"
#include "kalmlib/kalmlib_batch.hpp"
#include "support/batch_compare.hpp"

namespace {

using kalmtool::BatchTally;

// The instruction sets this CPU runs, each selected in turn; the best one is
// selected again afterwards.
std::vector<int> runnable_isas() {
    std::vector<int> out;
    const int best = kalm_batch_isa();
    for (int i = KALM_BATCH_SCALAR; i <= KALM_BATCH_NEON; ++i)
        if (kalm_batch_set_isa(i) == KALM_OK) out.push_back(i);
    EXPECT_EQ(kalm_batch_set_isa(best), KALM_OK);
    return out;
}
struct IsaScope {
    int saved = kalm_batch_isa();
    explicit IsaScope(int isa) { EXPECT_EQ(kalm_batch_set_isa(isa), KALM_OK); }
    ~IsaScope() { kalm_batch_set_isa(saved); }
};

void print(const BatchTally& t) {
    for (const auto& m : t.messages) ADD_FAILURE() << m;
}

// ---- Arguments --------------------------------------------------------------

TEST(BatchEntries, RefusedArgumentsWriteNothing) {
    // buf: 16 doubles of 4.0 (sqrt 2, pow(4, 4) 256); every refused call must
    // leave all of them as they were.
    double buf[16];
    auto d = [&](int i) { return buf + i; };
    auto bytes = [&](int i, int off) { return reinterpret_cast<double*>(reinterpret_cast<char*>(buf + i) + off); };
    const std::size_t huge = std::numeric_limits<std::size_t>::max() / 4;
    const int orders[4] = {1, 1, 1, 1};
    const double yn1_4 = kalm_yn(1, 4.0);
    const struct {
        const char* what;
        std::function<int()> call;
        int rc;
        int first;     // the first element written (on success)
        double value;  // its value
    } cases[] = {
        {"n = 0, null pointers", [&] { return kalm_batch_sqrt(nullptr, nullptr, 0); }, KALM_OK, -1, 0},
        {"n = 0, y inside x", [&] { return kalm_batch_sqrt(d(0), d(1), 0); }, KALM_OK, -1, 0},
        {"n = 0, two arguments, nulls", [&] { return kalm_batch_pow(nullptr, nullptr, nullptr, 0); }, KALM_OK, -1, 0},
        {"null x", [&] { return kalm_batch_sqrt(nullptr, d(8), 4); }, KALM_ERR_NULL, -1, 0},
        {"null y", [&] { return kalm_batch_sqrt(d(0), nullptr, 4); }, KALM_ERR_NULL, -1, 0},
        {"null a", [&] { return kalm_batch_pow(nullptr, d(0), d(8), 4); }, KALM_ERR_NULL, -1, 0},
        {"null b", [&] { return kalm_batch_pow(d(0), nullptr, d(8), 4); }, KALM_ERR_NULL, -1, 0},
        {"_yn: null x", [&] { return kalm_batch_yn(2, nullptr, d(8), 4); }, KALM_ERR_NULL, -1, 0},
        {"y one element past x", [&] { return kalm_batch_sqrt(d(0), d(1), 4); }, KALM_ERR_OVERLAP, -1, 0},
        {"y one element before x", [&] { return kalm_batch_sqrt(d(1), d(0), 4); }, KALM_ERR_OVERLAP, -1, 0},
        {"y's last element x's first", [&] { return kalm_batch_sqrt(d(3), d(0), 4); }, KALM_ERR_OVERLAP, -1, 0},
        {"x's last element y's first", [&] { return kalm_batch_sqrt(d(0), d(3), 4); }, KALM_ERR_OVERLAP, -1, 0},
        {"y half an element off x", [&] { return kalm_batch_sqrt(d(0), bytes(0, 4), 4); }, KALM_ERR_OVERLAP, -1, 0},
        {"y overlapping b only", [&] { return kalm_batch_pow(d(0), d(9), d(8), 4); }, KALM_ERR_OVERLAP, -1, 0},
        {"y overlapping a only", [&] { return kalm_batch_pow(d(9), d(0), d(8), 4); }, KALM_ERR_OVERLAP, -1, 0},
        {"_yn: y one past x", [&] { return kalm_batch_yn(2, d(0), d(1), 4); }, KALM_ERR_OVERLAP, -1, 0},
        {"_yn orders: null orders", [&] { return kalm_batch_yn_orders(nullptr, d(0), d(8), 4); }, KALM_ERR_NULL, -1, 0},
        {"_yn orders: y over the orders",
         [&] { return kalm_batch_yn_orders(reinterpret_cast<const int*>(d(10)), d(0), d(8), 4); }, KALM_ERR_OVERLAP, -1, 0},
        {"_yn orders: y's last element the orders'",
         [&] { return kalm_batch_yn_orders(reinterpret_cast<const int*>(d(3)), d(8), d(0), 4); }, KALM_ERR_OVERLAP, -1, 0},
        {"_yn orders: y one past x", [&] { return kalm_batch_yn_orders(orders, d(0), d(1), 4); }, KALM_ERR_OVERLAP, -1, 0},
        {"_yn orders: in place", [&] { return kalm_batch_yn_orders(orders, d(0), d(0), 4); }, KALM_OK, 0, yn1_4},
        {"arrays past the end of memory", [&] { return kalm_batch_sqrt(d(0), d(8), huge); }, KALM_ERR_OVERLAP, -1, 0},
        {"floats: y two past x",
         [&] { return kalm_batch_sqrtf(reinterpret_cast<float*>(buf), reinterpret_cast<float*>(buf) + 2, 4); },
         KALM_ERR_OVERLAP, -1, 0},
        {"y just after x", [&] { return kalm_batch_sqrt(d(0), d(4), 4); }, KALM_OK, 4, 2.0},
        {"y just before x", [&] { return kalm_batch_sqrt(d(4), d(0), 4); }, KALM_OK, 0, 2.0},
        {"in place: y is x", [&] { return kalm_batch_sqrt(d(0), d(0), 4); }, KALM_OK, 0, 2.0},
        {"in place: y is a", [&] { return kalm_batch_pow(d(0), d(8), d(0), 4); }, KALM_OK, 0, 256.0},
        {"in place: y is b", [&] { return kalm_batch_pow(d(8), d(0), d(0), 4); }, KALM_OK, 0, 256.0},
        {"a and b one array", [&] { return kalm_batch_pow(d(8), d(8), d(0), 4); }, KALM_OK, 0, 256.0},
        {"a and b overlapping", [&] { return kalm_batch_pow(d(8), d(9), d(0), 4); }, KALM_OK, 0, 256.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (double& v : buf) v = 4.0;
        EXPECT_EQ(c.call(), c.rc);
        for (int i = 0; i < 16; ++i) {
            const bool written = c.first >= 0 && i >= c.first && i < c.first + 4;
            EXPECT_EQ(buf[i], written ? c.value : 4.0) << "element " << i;
        }
    }
    // The C++ spans: a size that differs is refused, nothing written.
    std::vector<double> a(5, 4.0), out(4, -1.0);
    EXPECT_EQ(kalm::batch::sqrt(a, out), KALM_ERR_SIZE);
    EXPECT_EQ(kalm::batch::pow(std::span(a).first(4), a, out), KALM_ERR_SIZE);
    EXPECT_EQ(kalm::batch::pow(a, std::span(a).first(4), out), KALM_ERR_SIZE);
    EXPECT_EQ(kalm::batch::yn(3, a, out), KALM_ERR_SIZE);
    const std::vector<int> five_orders(5, 2);
    EXPECT_EQ(kalm::batch::yn(five_orders, std::span(a).first(4), out), KALM_ERR_SIZE);
    EXPECT_EQ(kalm::batch::yn(std::span(five_orders).first(4), a, out), KALM_ERR_SIZE);
    EXPECT_EQ(out, std::vector<double>(4, -1.0));
    EXPECT_EQ(kalm::batch::sqrt(std::span(a).first(4), out), KALM_OK);
    EXPECT_EQ(out, std::vector<double>(4, 2.0));
    std::vector<float> f(3, 9.0f);
    EXPECT_EQ(kalm::batch::sqrt(std::span<const float>(f), std::span<float>(f)), KALM_OK);  // sqrtf, in place
    EXPECT_EQ(f, std::vector<float>(3, 3.0f));
}

TEST(BatchEntries, InstructionSetSelection) {
    const int best = kalm_batch_isa();
    EXPECT_GE(best, KALM_BATCH_SCALAR);
    EXPECT_LE(best, KALM_BATCH_NEON);
    for (int bad : {-1, 4, 1000})
        EXPECT_EQ(kalm_batch_set_isa(bad), KALM_ERR_UNSUPPORTED) << bad;
    EXPECT_EQ(kalm_batch_isa(), best) << "a refused selection changes nothing";
    EXPECT_EQ(kalm_batch_set_isa(KALM_BATCH_SCALAR), KALM_OK);
    EXPECT_EQ(kalm_batch_isa(), KALM_BATCH_SCALAR);
    if (best < KALM_BATCH_AVX512) {
        EXPECT_EQ(kalm_batch_set_isa(best + 1), KALM_ERR_UNSUPPORTED);
        EXPECT_EQ(kalm_batch_isa(), KALM_BATCH_SCALAR);
    }
    EXPECT_EQ(kalm_batch_set_isa(best), KALM_OK);
#if defined(__x86_64__) && !defined(_WIN32)
    using kalm::lib::CPU_AVX2;
    using kalm::lib::CPU_AVX512;
    EXPECT_EQ(best, kalm::lib::cpu_has(CPU_AVX512) ? 2 : kalm::lib::cpu_has(CPU_AVX2) ? 1 : 0);
    EXPECT_EQ(kalm_batch_set_isa(KALM_BATCH_NEON), KALM_ERR_UNSUPPORTED) << "no NEON kernels on x86-64";
#elif defined(__aarch64__) && !defined(_WIN32)
    // NEON is part of AArch64's base set: always the best, the x86 sets never.
    EXPECT_EQ(best, KALM_BATCH_NEON);
    EXPECT_EQ(kalm_batch_set_isa(KALM_BATCH_AVX2), KALM_ERR_UNSUPPORTED);
    EXPECT_EQ(kalm_batch_set_isa(KALM_BATCH_AVX512), KALM_ERR_UNSUPPORTED);
#endif
}

// ---- Every vector line ------------------------------------------------------

const std::vector<kalmtool::Vector>& all_lines(std::vector<std::string>& where) {
    static std::vector<kalmtool::Vector> lines;
    static std::vector<std::string> at;
    if (lines.empty()) {
        std::vector<std::filesystem::path> files;
        for (const auto& f : std::filesystem::directory_iterator(KALM_VECTOR_DIR))
            if (f.path().extension() == ".txt") files.push_back(f.path());
        std::sort(files.begin(), files.end());
        for (const auto& f : files) {
            std::string error;
            EXPECT_TRUE(kalmtool::read_vector_lines(f.string(), lines, at, error)) << error;
        }
    }
    where = at;
    return lines;
}

TEST(BatchVectors, EveryLineOnEveryInstructionSetUnderEveryCallerEnvironment) {
    std::vector<std::string> where;
    const auto& lines = all_lines(where);
    ASSERT_GT(lines.size(), 2000u);
    for (int isa : runnable_isas()) {
        const IsaScope scope(isa);
        for (const auto& env : kalmtool::caller_envs()) {
            BatchTally t;
            kalmtool::check_batch_lines(lines, where, env, t);
            EXPECT_EQ(t.failures, 0) << "instruction set " << isa << ", caller environment " << env.name;
            print(t);
        }
    }
}

// ---- Random arguments of every export ---------------------------------------

// Argument bits: every pattern alike half the time (subnormals, NaNs,
// infinities, every binade), otherwise a value of moderate size.
std::uint64_t random_arg(std::mt19937_64& g, bool single) {
    const std::uint64_t r = g();
    if (r & 1) return single ? (r >> 32) : r;
    const double v = std::ldexp(static_cast<double>(r >> 11) / 9007199254740992.0, static_cast<int>(g() % 24) - 12) *
                     ((r & 2) ? -1.0 : 1.0);
    return single ? std::bit_cast<std::uint32_t>(static_cast<float>(v)) : std::bit_cast<std::uint64_t>(v);
}

TEST(BatchEntries, RandomArgumentsOfEveryExportMatchTheScalarExport) {
    std::mt19937_64 g(22);
    const std::size_t kCount = 3000;
    for (int isa : runnable_isas()) {
        const IsaScope scope(isa);
        for (std::size_t k = 0; k < kalm_export_count(); ++k) {
            const kalm_export* e = kalm_export_at(k);
            SCOPED_TRACE(std::string(e->name) + " on instruction set " + std::to_string(isa));
            const bool single = e->signature == KALM_SIG_F_F || e->signature == KALM_SIG_FF_F;
            std::vector<std::uint64_t> a(kCount), b(kCount), y(kCount);
            for (std::size_t i = 0; i < kCount; ++i) {
                a[i] = random_arg(g, single);
                b[i] = random_arg(g, single);
            }
            // _yn: small orders (a large order with a large x takes seconds).
            const int order = static_cast<int>(g() % 9) - 4;
            ASSERT_EQ(kalmtool::call_batch(e, order, a.data(), b.data(), y.data(), kCount, false), KALM_OK);
            std::size_t bad = 0;
            for (std::size_t i = 0; i < kCount && bad < 5; ++i) {
                std::uint32_t w[4], r[2] = {0, 0};
                std::size_t nw = 0;
                if (e->signature == KALM_SIG_ID_D) w[nw++] = static_cast<std::uint32_t>(order);
                if (single) {
                    w[nw++] = static_cast<std::uint32_t>(a[i]);
                    if (e->signature == KALM_SIG_FF_F) w[nw++] = static_cast<std::uint32_t>(b[i]);
                } else {
                    w[nw++] = static_cast<std::uint32_t>(a[i]);
                    w[nw++] = static_cast<std::uint32_t>(a[i] >> 32);
                    if (e->signature == KALM_SIG_DD_D) {
                        w[nw++] = static_cast<std::uint32_t>(b[i]);
                        w[nw++] = static_cast<std::uint32_t>(b[i] >> 32);
                    }
                }
                ASSERT_EQ(kalm_call(e->ordinal, w, nw, r, 2, 0), KALM_OK);
                const std::uint64_t want = single ? r[0] : (static_cast<std::uint64_t>(r[1]) << 32) | r[0];
                if (y[i] != want) {
                    ++bad;
                    ADD_FAILURE() << std::hex << "a=0x" << a[i] << " b=0x" << b[i] << ": batch 0x" << y[i]
                                  << ", scalar 0x" << want;
                }
            }
            kalm_clear_flags();
        }
    }
}

// ---- Threads ------------------------------------------------------------------

// Two threads batch at once, each in a caller environment of its own, with
// its own control word: every result as the scalar export's, each thread's
// register and control word exactly as it set them.
TEST(Threads, TwoThreadsBatchAtOnce) {
    const std::size_t n = 4099;
    std::vector<double> x(n);
    std::vector<float> xf(n);
    std::mt19937_64 g(7);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = std::bit_cast<double>(random_arg(g, false));
        xf[i] = std::bit_cast<float>(static_cast<std::uint32_t>(random_arg(g, true)));
    }
    std::vector<double> want_sin(n), want_sqrt(n);
    std::vector<float> want_sqrtf(n);
    for (std::size_t i = 0; i < n; ++i) {
        want_sin[i] = kalm_sin(x[i]);
        want_sqrt[i] = kalm_sqrt(x[i]);
        want_sqrtf[i] = kalm_sqrtf(xf[i]);
    }
    kalm_clear_flags();
    const auto& envs = kalmtool::caller_envs();
    auto worker = [&](std::size_t env_index, std::uint32_t control, int* failures) {
        const kalmtool::CallerEnv& env = envs[env_index % envs.size()];
        kalm_set_control_word(control);
        std::vector<double> y(n);
        std::vector<float> yf(n);
        for (int round = 0; round < 20; ++round) {
            kalmtool::FpRegs after = 0;
            int rc = 0;
            kalmtool::call_in_env(env, after, [&] {
                rc |= kalm_batch_sin(x.data(), y.data(), n);
                rc |= kalm_batch_sqrt(x.data(), y.data() + 0, 0);
                rc |= kalm_batch_sqrtf(xf.data(), yf.data(), n);
            });
            if (rc != KALM_OK || after != env.regs || kalm_control_word() != control) ++*failures;
            for (std::size_t i = 0; i < n; ++i) {
                if (std::bit_cast<std::uint64_t>(y[i]) != std::bit_cast<std::uint64_t>(want_sin[i])) ++*failures;
                if (std::bit_cast<std::uint32_t>(yf[i]) != std::bit_cast<std::uint32_t>(want_sqrtf[i])) ++*failures;
            }
            call_in_env(env, after, [&] { rc = kalm_batch_sqrt(x.data(), y.data(), n); });
            for (std::size_t i = 0; i < n; ++i)
                if (std::bit_cast<std::uint64_t>(y[i]) != std::bit_cast<std::uint64_t>(want_sqrt[i])) ++*failures;
            if (rc != KALM_OK || after != env.regs) ++*failures;
        }
        kalm_set_control_word(KALM_MASK_ALL);
    };
    int f1 = 0, f2 = 0;
    // "up" and "ftz" where the host has them; otherwise two others.
    std::size_t e1 = 1, e2 = 2;
    for (std::size_t i = 0; i < envs.size(); ++i) {
        if (std::string(envs[i].name) == "up") e1 = i;
        if (std::string(envs[i].name) == "sticky-preset") e2 = i;
    }
    std::thread t1(worker, e1, 0u, &f1), t2(worker, e2, 0x0Fu, &f2);
    t1.join();
    t2.join();
    EXPECT_EQ(f1, 0);
    EXPECT_EQ(f2, 0);
}

// ---- The sqrt and sqrtf kernels -----------------------------------------------

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
using DKernel = void (*)(const double*, double*, std::size_t);
using FKernel = void (*)(const float*, float*, std::size_t);
struct SqrtKernels {
    const char* isa;
    kalm::lib::CpuFeature needs;
    DKernel d;
    FKernel f;
};
const SqrtKernels kSqrtKernels[] = {
    {"avx512", kalm::lib::CPU_AVX512, &kalm::lib::batch::sqrt_avx512, &kalm::lib::batch::sqrtf_avx512},
    {"avx2", kalm::lib::CPU_AVX2, &kalm::lib::batch::sqrt_avx2, &kalm::lib::batch::sqrtf_avx2},
};

double scalar_sqrt(double v) { return kalm::lib::exported::sqrt(v, 0); }
float scalar_sqrtf(float v) { return kalm::lib::exported::sqrtf(v, 0); }

// Every special value and each edge of the scalar routine's bands: zeros,
// the smallest and largest subnormals, the smallest normal, odd and even
// exponents, the largest finite, infinities, NaNs with payloads, negatives.
std::vector<double> sqrt_edges() {
    std::vector<double> v;
    for (std::uint64_t b : {0x0ull, 0x1ull, 0x2ull, 0x3ull, 0x000FFFFFFFFFFFFFull, 0x0010000000000000ull,
                            0x0010000000000001ull, 0x001FFFFFFFFFFFFFull, 0x3FF0000000000000ull, 0x3FEFFFFFFFFFFFFFull,
                            0x4000000000000000ull, 0x3FF0000000000001ull, 0x7FEFFFFFFFFFFFFFull,
                            0x7FF0000000000000ull, 0x7FF0000000000001ull, 0x7FF8000000000000ull,
                            0x7FFFFFFFFFFFFFFFull, 0x7FF4000000000123ull})
        for (std::uint64_t sign : {0ull, 0x8000000000000000ull}) v.push_back(std::bit_cast<double>(b | sign));
    return v;
}
std::vector<float> sqrtf_edges() {
    std::vector<float> v;
    for (std::uint32_t b : {0x0u, 0x1u, 0x2u, 0x007FFFFFu, 0x00800000u, 0x00800001u, 0x00FFFFFFu, 0x3F800000u,
                            0x3F7FFFFFu, 0x40000000u, 0x3F800001u, 0x7F7FFFFFu, 0x7F800000u, 0x7F800001u,
                            0x7FC00000u, 0x7FFFFFFFu, 0x7FA00123u})
        for (std::uint32_t sign : {0u, 0x80000000u}) v.push_back(std::bit_cast<float>(b | sign));
    return v;
}

TEST(BatchKernels, SqrtEdgesTailsAndRandomArguments) {
    std::mt19937_64 g(35);
    std::vector<double> rd(100000);
    std::vector<float> rf(100000);
    for (auto& v : rd) v = std::bit_cast<double>(random_arg(g, false));
    for (auto& v : rf) v = std::bit_cast<float>(static_cast<std::uint32_t>(random_arg(g, true)));
    // Subnormal arguments of every size.
    for (std::size_t i = 0; i < 1000; ++i) rd[i] = std::bit_cast<double>(g() >> (12 + i % 52));
    for (std::size_t i = 0; i < 1000; ++i) rf[i] = std::bit_cast<float>(static_cast<std::uint32_t>(g() >> (41 + i % 23)));
    bool ran = false;
    for (const auto& k : kSqrtKernels) {
        if (!kalm::lib::cpu_has(k.needs)) continue;
        ran = true;
        SCOPED_TRACE(k.isa);
        kalm::test::BatchReport rep;
        const std::function<void(const double*, double*, std::size_t)> bd = k.d;
        const std::function<void(const float*, float*, std::size_t)> bf = k.f;
        const auto ed = sqrt_edges();
        const auto ef = sqrtf_edges();
        kalm::test::compare_batch<double>(rep, bd, scalar_sqrt, ed.data(), ed.size());
        kalm::test::compare_batch<float>(rep, bf, scalar_sqrtf, ef.data(), ef.size());
        kalm::test::compare_batch<double>(rep, bd, scalar_sqrt, rd.data(), rd.size());
        kalm::test::compare_batch<float>(rep, bf, scalar_sqrtf, rf.data(), rf.size());
        // Every length 0..40 at every start 0..3, out of place and in place,
        // with the special values spread over the lanes; nothing past n written.
        for (std::size_t start = 0; start < 4; ++start)
            for (std::size_t len = 0; len <= 40; ++len) {
                std::vector<double> xd(48), yd(48, -3.0), want(48);
                std::vector<float> xf(48), yf(48, -3.0f), wantf(48);
                for (std::size_t i = 0; i < 48; ++i) {
                    xd[i] = (i * 7 + len) % 5 == 0 ? ed[(i + len) % ed.size()] : rd[i * 31 + len];
                    xf[i] = (i * 7 + len) % 5 == 0 ? ef[(i + len) % ef.size()] : rf[i * 31 + len];
                }
                for (std::size_t i = 0; i < 48; ++i) {
                    const bool inside = i >= start && i < start + len;
                    want[i] = inside ? scalar_sqrt(xd[i]) : -3.0;
                    wantf[i] = inside ? scalar_sqrtf(xf[i]) : -3.0f;
                }
                k.d(xd.data() + start, yd.data() + start, len);
                k.f(xf.data() + start, yf.data() + start, len);
                for (std::size_t i = 0; i < 48; ++i) {
                    EXPECT_EQ(std::bit_cast<std::uint64_t>(yd[i]), std::bit_cast<std::uint64_t>(want[i]))
                        << "len " << len << " start " << start << " lane " << i;
                    EXPECT_EQ(std::bit_cast<std::uint32_t>(yf[i]), std::bit_cast<std::uint32_t>(wantf[i]))
                        << "len " << len << " start " << start << " lane " << i;
                }
                // In place: y is x.
                std::vector<double> id(xd);
                std::vector<float> inf(xf);
                k.d(id.data() + start, id.data() + start, len);
                k.f(inf.data() + start, inf.data() + start, len);
                for (std::size_t i = start; i < start + len; ++i) {
                    EXPECT_EQ(std::bit_cast<std::uint64_t>(id[i]), std::bit_cast<std::uint64_t>(want[i]));
                    EXPECT_EQ(std::bit_cast<std::uint32_t>(inf[i]), std::bit_cast<std::uint32_t>(wantf[i]));
                }
            }
        rep.print(k.isa);
        EXPECT_EQ(rep.mismatches, 0u);
        EXPECT_EQ(rep.compared, 2 * 100000 + ed.size() + ef.size());
    }
    kalm_clear_flags();
    if (!ran) GTEST_SKIP() << "this CPU runs neither AVX2 nor AVX-512";
}

// KALM_BATCH_EXHAUSTIVE=1: every float through both sqrtf kernels, and 10^8
// random doubles through both sqrt kernels (a quarter subnormal, a quarter
// near 1, the rest every bit pattern alike).
bool exhaustive() {
    const char* e = std::getenv("KALM_BATCH_EXHAUSTIVE");
    return e != nullptr && std::string(e) == "1";
}

TEST(BatchExhaustive, SqrtfEveryFloatOnEachInstructionSet) {
    if (!exhaustive()) GTEST_SKIP() << "set KALM_BATCH_EXHAUSTIVE=1";
    for (const auto& k : kSqrtKernels) {
        if (!kalm::lib::cpu_has(k.needs)) continue;
        const auto t0 = std::chrono::steady_clock::now();
        kalm::test::BatchReport rep;
        kalm::test::compare_every_float(rep, k.f, scalar_sqrtf);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::fprintf(stderr, "sqrtf_%s: %zu floats, %zu differ, %.1f s\n", k.isa, rep.compared, rep.mismatches, s);
        rep.print(k.isa);
        EXPECT_EQ(rep.compared, 0x100000000ull);
        EXPECT_EQ(rep.mismatches, 0u);
    }
}

TEST(BatchExhaustive, SqrtHundredMillionRandomDoublesOnEachInstructionSet) {
    if (!exhaustive()) GTEST_SKIP() << "set KALM_BATCH_EXHAUSTIVE=1";
    for (const auto& k : kSqrtKernels) {
        if (!kalm::lib::cpu_has(k.needs)) continue;
        const auto t0 = std::chrono::steady_clock::now();
        std::mt19937_64 g(100000000);
        kalm::test::BatchReport rep;
        std::vector<double> x(1 << 16);
        for (std::size_t done = 0; done < 100000000; done += x.size()) {
            const std::size_t n = std::min<std::size_t>(x.size(), 100000000 - done);
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint64_t r = g();
                switch (i & 3) {
                    case 0: x[i] = std::bit_cast<double>(r >> 12 >> (r & 31)); break;  // subnormal (sign clear)
                    case 1: x[i] = std::bit_cast<double>(0x3FE0000000000000ull + (r >> 11)); break;  // [0.5, 2)
                    default: x[i] = std::bit_cast<double>(r); break;
                }
            }
            kalm::test::compare_batch<double>(rep, k.d, scalar_sqrt, x.data(), n);
        }
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::fprintf(stderr, "sqrt_%s: %zu doubles, %zu differ, %.1f s\n", k.isa, rep.compared, rep.mismatches, s);
        rep.print(k.isa);
        EXPECT_EQ(rep.mismatches, 0u);
    }
}
#endif

}  // namespace
