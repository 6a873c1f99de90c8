// SPDX-License-Identifier: MIT
// The dynarmic adapter's edges: the stub page's layout, SVC numbers that are
// not the library's left to the emulator, unknown ordinals and names bound to
// nothing, and an unmasked exception without a callback halting the JIT with
// UserDefined8, the raise kept. Exit 0 when all hold.
#include <cstdio>
#include <cstring>
#include <vector>

#include "kalm_dynarmic.hpp"

namespace {

int failures = 0;
#define CHECK(c)                                                          \
    do {                                                                  \
        if (!(c)) {                                                       \
            std::printf("%s:%d: failed: %s\n", __FILE__, __LINE__, #c); \
            ++failures;                                                   \
        }                                                                 \
    } while (0)

constexpr std::uint32_t kStubs = 0x01F00000u;

// Guest code at 0, the stub page at kStubs; nothing else.
struct Env final : Dynarmic::A32::UserCallbacks {
    std::vector<std::uint8_t> low = std::vector<std::uint8_t>(0x1000), stubs = std::vector<std::uint8_t>(0x1000);
    kalm::dynarmic::Adapter* kalm = nullptr;
    Dynarmic::A32::Jit* jit = nullptr;
    std::uint32_t foreign_svc = 0;
    std::uint8_t* at(std::uint32_t a) {
        if (a < 0x1000) return &low[a];
        if (a - kStubs < 0x1000) return &stubs[a - kStubs];
        return nullptr;
    }
    template <typename T>
    T get(std::uint32_t a) {
        T v = 0;
        if (std::uint8_t* p = at(a)) std::memcpy(&v, p, sizeof v);
        return v;
    }
    std::uint8_t MemoryRead8(std::uint32_t a) override { return get<std::uint8_t>(a); }
    std::uint16_t MemoryRead16(std::uint32_t a) override { return get<std::uint16_t>(a); }
    std::uint32_t MemoryRead32(std::uint32_t a) override { return get<std::uint32_t>(a); }
    std::uint64_t MemoryRead64(std::uint32_t a) override { return get<std::uint64_t>(a); }
    void MemoryWrite8(std::uint32_t, std::uint8_t) override {}
    void MemoryWrite16(std::uint32_t, std::uint16_t) override {}
    void MemoryWrite32(std::uint32_t, std::uint32_t) override {}
    void MemoryWrite64(std::uint32_t, std::uint64_t) override {}
    void InterpreterFallback(std::uint32_t, std::size_t) override { jit->HaltExecution(); }
    void CallSVC(std::uint32_t swi) override {
        if (kalm->service(*jit, swi)) return;
        foreign_svc = swi;  // the emulator's own: here, the end of the run
        jit->HaltExecution();
    }
    void ExceptionRaised(std::uint32_t, Dynarmic::A32::Exception) override { jit->HaltExecution(); }
    void AddTicks(std::uint64_t) override {}
    std::uint64_t GetTicksRemaining() override { return 0; }
};

}  // namespace

int main() {
    kalm::dynarmic::Adapter kalm(kStubs);
    CHECK(kalm.stub(0) == 0 && kalm.stub(41) == 0 && kalm.stub(-1) == 0);
    CHECK(kalm.stub(1) == kStubs + 8 && kalm.stub(40) == kStubs + 320);
    CHECK(kalm.stub("sqrt") == kalm.stub(35) && kalm.stub("nosuch") == 0 && kalm.stub(nullptr) == 0);
    CHECK(kalm.stub_page()[35 * 2] == (0xEF000000u | (kalm::dynarmic::KALM_SVC_BASE + 35)));
    CHECK(kalm.stub_page()[35 * 2 + 1] == 0xE12FFF1Eu);

    Env env;
    env.kalm = &kalm;
    std::memcpy(env.stubs.data(), kalm.stub_page().data(), 0x1000);
    // r0:r1 = -1.0, call sqrt, then svc #0x42 (the emulator's) ends the run.
    const std::uint32_t code[] = {
        0xE59F300Cu,  // ldr r3, [pc, #12]: the stub
        0xE1A0E00Fu,  // mov lr, pc
        0xE12FFF13u,  // bx r3
        0xEF000042u,  // svc #0x42
        0xEAFFFFFEu,  // b .
        kalm.stub(35),
    };
    std::memcpy(env.low.data(), code, sizeof code);
    Dynarmic::A32::UserConfig config;
    config.callbacks = &env;
    config.arch_version = Dynarmic::A32::ArchVersion::v4T;
    config.enable_cycle_counting = false;
    config.code_cache_size = 8u << 20;
    Dynarmic::A32::Jit jit(config);
    env.jit = &jit;
    auto run = [&] {
        jit.Regs()[0] = 0;
        jit.Regs()[1] = 0xBFF00000u;
        jit.Regs()[13] = 0x800;
        jit.Regs()[15] = 0;
        jit.SetCpsr(0x10);
        env.foreign_svc = 0;
        return jit.Run();
    };

    // Everything masked: the NaN comes back and the run ends at the emulator's svc.
    run();
    CHECK(env.foreign_svc == 0x42 && jit.Regs()[0] == 0 && jit.Regs()[1] == 0xFFF80000u);
    CHECK(!kalm.last_raise() && kalm.calls() == 1);

    // Invalid unmasked, no callback: halted with UserDefined8 before the svc, the raise kept.
    kalm::dynarmic::FpState thread{0x12340000u, KALM_MASK_ALL & ~KALM_MASK_INVALID};
    kalm.set_fp_state(&thread);
    const Dynarmic::HaltReason hr = run();
    CHECK((static_cast<std::uint32_t>(hr) & static_cast<std::uint32_t>(Dynarmic::HaltReason::UserDefined8)) != 0);
    CHECK(env.foreign_svc == 0);
    CHECK(kalm.last_raise() && kalm.last_raise()->status_code == KALM_STATUS_FLOAT_INVALID_OPERATION &&
          kalm.last_raise()->report_address == 0x0Cu);
    CHECK(thread.status == 0x12340000u);
    std::printf("dynarmic adapter: %d failures\n", failures);
    return failures == 0 ? 0 : 1;
}
