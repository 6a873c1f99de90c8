// SPDX-License-Identifier: MIT
// Unmasked exceptions raised as structured exceptions of the host (Windows),
// seen by a vectored exception handler: every vector line raises the codes a
// raise handler would see, in the same order, with no arguments, and a handler
// that continues execution lets the call finish as if they were masked. Where
// the host has no structured exceptions the switch is refused and changes nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "kalmlib/kalmlib.hpp"
#include "vectors.hpp"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <xmmintrin.h>
#endif

namespace {

#if defined(_WIN32)

bool device_code(DWORD c) { return c >= 0xC000008Eu && c <= 0xC0000093u; }

// What the vectored handler saw, for exceptions raised on the watched thread.
struct Seen {
    std::vector<std::uint32_t> codes;
    DWORD parameters = 0;  // the most any of them had
    DWORD flags = 0;       // every flag any of them had
    std::vector<std::uintptr_t> addresses;
    std::uint32_t mxcsr = 0;  // the context's MXCSR at the first one
};
Seen g_seen;
std::atomic<DWORD> g_watched{0};

LONG CALLBACK watch(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* r = info->ExceptionRecord;
    if (!device_code(r->ExceptionCode) || GetCurrentThreadId() != g_watched.load()) return EXCEPTION_CONTINUE_SEARCH;
    if (g_seen.codes.empty()) g_seen.mxcsr = info->ContextRecord->MxCsr;
    g_seen.codes.push_back(r->ExceptionCode);
    g_seen.parameters = std::max(g_seen.parameters, r->NumberParameters);
    g_seen.flags |= r->ExceptionFlags;
    g_seen.addresses.push_back(reinterpret_cast<std::uintptr_t>(r->ExceptionAddress));
    return EXCEPTION_CONTINUE_EXECUTION;
}

// Installs the handler for the calling thread and the structured mode.
class Watch {
public:
    Watch() : handle_(AddVectoredExceptionHandler(1, watch)) {
        g_seen = Seen{};
        g_watched = GetCurrentThreadId();
        EXPECT_EQ(kalm_set_structured_exceptions(1), KALM_OK);
    }
    ~Watch() {
        kalm_set_structured_exceptions(0);
        g_watched = 0;
        RemoveVectoredExceptionHandler(handle_);
    }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

private:
    PVOID handle_;
};

std::vector<kalmtool::Vector> all_vectors() {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(KALM_VECTOR_DIR))
        if (e.path().extension() == ".txt") files.push_back(e.path().string());
    std::vector<kalmtool::Vector> out;
    for (const auto& f : files) {
        std::ifstream in(f);
        std::string line, error;
        while (std::getline(in, line)) {
            kalmtool::Vector v;
            if (kalmtool::parse_vector(line, v, error) && v.fn && v.expected) out.push_back(v);
        }
    }
    return out;
}

struct Outcome {
    std::uint64_t result = 0;
    unsigned flags = 0;
    std::vector<std::uint32_t> codes;
};

Outcome call(const kalmtool::Vector& v) {
    std::uint32_t res[2] = {0, 0};
    kalm_clear_flags();
    kalm_call(v.fn->ordinal, v.words.data(), v.words.size(), res, 2, 0x1000);
    Outcome r;
    r.flags = kalm_status() & 0x1Du;
    r.result = v.fn->result_words == 1 ? res[0] : (static_cast<std::uint64_t>(res[1]) << 32 | res[0]);
    return r;
}

void record_code(uint32_t status, int, uintptr_t, void* user) { static_cast<Outcome*>(user)->codes.push_back(status); }

TEST(StructuredExceptions, EveryVectorRaisesWhatARaiseHandlerSees) {
    long raising = 0;
    const std::vector<kalmtool::Vector> vectors = all_vectors();
    ASSERT_GT(vectors.size(), 2000u);
    for (const kalmtool::Vector& v : vectors) {
        kalm_set_control_word(0);
        // Through a C raise handler.
        Outcome by_handler;
        kalm_set_raise_handler(record_code, &by_handler);
        const Outcome h = call(v);
        by_handler.result = h.result;
        by_handler.flags = h.flags;
        // As structured exceptions, the C handler still installed: it is not called.
        Outcome ignored;
        kalm_set_raise_handler(record_code, &ignored);
        Outcome structured;
        {
            Watch w;
            structured = call(v);
            structured.codes.assign(g_seen.codes.begin(), g_seen.codes.end());
            EXPECT_EQ(g_seen.parameters, 0u) << v.input;
            EXPECT_EQ(g_seen.flags, 0u) << v.input;  // continuable
        }
        kalm_set_raise_handler(nullptr, nullptr);
        kalm_set_control_word(KALM_MASK_ALL);
        EXPECT_TRUE(ignored.codes.empty()) << v.input;
        EXPECT_EQ(structured.codes, by_handler.codes) << v.input;
        EXPECT_EQ(structured.result, v.expected->result) << v.input;
        EXPECT_EQ(structured.flags, v.expected->flags) << v.input;
        const std::string first = structured.codes.empty() ? "-" : [&] {
            char b[16];
            std::snprintf(b, sizeof b, "%08X", static_cast<unsigned>(structured.codes[0]));
            return std::string(b);
        }();
        EXPECT_EQ(first, v.expected->raise.substr(0, first.size())) << v.input;
        raising += !structured.codes.empty();
    }
    EXPECT_GT(raising, 1000);
}

// The handler runs in the caller's environment (here rounding toward zero),
// and the caller has it back afterwards.
TEST(StructuredExceptions, HandlerSeesTheCallersEnvironment) {
    const unsigned int saved = _mm_getcsr();
    kalm::ScopedUnmask unmask(KALM_MASK_INVALID);
    double r;
    {
        Watch w;
        _mm_setcsr((saved & ~0x6000u) | 0x6000u);
        r = kalm_sqrt(-1.0);
        const unsigned int after = _mm_getcsr();
        _mm_setcsr(saved);
        EXPECT_EQ(after & 0xFFC0u, ((saved & ~0x6000u) | 0x6000u) & 0xFFC0u);
        ASSERT_EQ(g_seen.codes.size(), 1u);
        EXPECT_EQ(g_seen.codes[0], KALM_STATUS_FLOAT_INVALID_OPERATION);
        EXPECT_EQ(g_seen.mxcsr & 0x6000u, 0x6000u);
    }
    EXPECT_TRUE(r != r);
}

// The mode belongs to the thread that chose it, and switching it off brings
// back the throw.
TEST(StructuredExceptions, PerThreadAndRevocable) {
    kalm::ScopedUnmask unmask(KALM_MASK_INVALID);
    {
        Watch w;
        std::atomic<bool> threw{false};
        std::thread other([&] {
            kalm::ScopedUnmask u(KALM_MASK_INVALID);
            try {
                (void)kalm_sqrt(-1.0);
            } catch (const kalm::FpException& e) {
                threw = e.status_code() == KALM_STATUS_FLOAT_INVALID_OPERATION;
            }
        });
        other.join();
        EXPECT_TRUE(threw.load());
        EXPECT_TRUE(g_seen.codes.empty());
        (void)kalm_sqrt(-1.0);
        EXPECT_EQ(g_seen.codes.size(), 1u);
    }
    EXPECT_THROW((void)kalm_sqrt(-1.0), kalm::FpException);
}

#else

TEST(StructuredExceptions, RefusedWithoutTheHostsSupportAndNothingChanges) {
    EXPECT_EQ(kalm_set_structured_exceptions(1), KALM_ERR_UNSUPPORTED);
    kalm::ScopedUnmask unmask(KALM_MASK_INVALID);
    EXPECT_THROW((void)kalm_sqrt(-1.0), kalm::FpException);
    EXPECT_EQ(kalm_set_structured_exceptions(0), KALM_ERR_UNSUPPORTED);
}

#endif

}  // namespace
