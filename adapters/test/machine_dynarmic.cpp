// SPDX-License-Identifier: MIT
// The dynarmic machine: an A32 JIT as an ARMv4T, flat memory through the page
// table, and the adapter's stub page serviced from CallSVC.
#include <cstring>
#include <map>

#include "kalm_dynarmic.hpp"
#include "machine.hpp"

namespace kalmguest {
namespace {

using Dynarmic::A32::VAddr;
constexpr std::uint32_t kSvcReturn = 0x00F00Du;  // at kReturnHere: the guest function has returned
constexpr std::uint32_t kPage = 0x1000;

class DynarmicMachine final : public Machine, private Dynarmic::A32::UserCallbacks {
public:
    DynarmicMachine() : kalm_(kStubBase) { table_.fill(nullptr); }
    const char* name() const override { return "dynarmic"; }

    bool load(const std::vector<std::uint8_t>& image, std::string&) override {
        map(kImageBase, static_cast<std::uint32_t>(image.size()));
        write(kImageBase, image.data(), image.size());
        map(kDataBase, 0x10000);
        map(kStackTop - 0x10000, 0x10000);
        map(kReturnHere & ~(kPage - 1), kPage);
        const std::uint32_t svc_return = 0xEF000000u | kSvcReturn;
        write(kReturnHere, &svc_return, 4);
        map(kStubBase, kPage);
        write(kStubBase, kalm_.stub_page().data(), kPage);
        kalm_.set_raise_callback(&DynarmicMachine::on_raise, this);
        kalm_.set_fp_state(&state_);

        Dynarmic::A32::UserConfig config;
        config.callbacks = this;
        config.arch_version = Dynarmic::A32::ArchVersion::v4T;
        config.page_table = &table_;
        config.enable_cycle_counting = false;
        config.code_cache_size = 16u << 20;
        jit_ = std::make_unique<Dynarmic::A32::Jit>(config);
        return true;
    }
    std::uint32_t stub(int ordinal) const override { return kalm_.stub(ordinal); }
    void write(std::uint32_t addr, const void* p, std::size_t n) override {
        const auto* b = static_cast<const std::uint8_t*>(p);
        for (std::size_t i = 0; i < n; ++i) MemoryWrite8(addr + static_cast<std::uint32_t>(i), b[i]);
    }
    void read(std::uint32_t addr, void* p, std::size_t n) override {
        auto* b = static_cast<std::uint8_t*>(p);
        for (std::size_t i = 0; i < n; ++i) b[i] = MemoryRead8(addr + static_cast<std::uint32_t>(i));
    }

    bool call(std::uint32_t fn, std::uint32_t r0, std::uint32_t r1, std::string& error) override {
        auto& r = jit_->Regs();
        r[0] = r0;
        r[1] = r1;
        r[13] = kStackTop;
        r[14] = kReturnHere;
        r[15] = fn & ~1u;
        jit_->SetCpsr((fn & 1u) ? 0x00000030u : 0x00000010u);  // user mode, Thumb state for an odd entry
        returned_ = false;
        fault_.clear();
        jit_->Run();
        if (!returned_) {
            error = fault_.empty() ? "the guest stopped at " + std::to_string(jit_->Regs()[15]) : fault_;
            return false;
        }
        return true;
    }
    void set_fp(std::uint32_t status, std::uint32_t control) override { state_ = {status, control}; }
    std::uint32_t status() const override { return state_.status; }
    std::uint64_t calls() const override { return kalm_.calls(); }

private:
    void map(std::uint32_t base, std::uint32_t size) {
        for (std::uint32_t a = base & ~(kPage - 1); a < base + size; a += kPage) {
            auto& page = pages_[a];
            if (page.empty()) page.assign(kPage, 0);
            table_[a >> 12] = page.data();
        }
    }
    std::uint8_t* at(VAddr a) {
        std::uint8_t* page = table_[a >> 12];
        return page ? page + (a & (kPage - 1)) : nullptr;
    }
    template <typename T>
    T load_at(VAddr a) {
        T v = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            if (const std::uint8_t* p = at(a + static_cast<VAddr>(i))) v |= static_cast<T>(static_cast<T>(*p) << (8 * i));
        return v;
    }
    template <typename T>
    void store_at(VAddr a, T v) {
        for (std::size_t i = 0; i < sizeof(T); ++i)
            if (std::uint8_t* p = at(a + static_cast<VAddr>(i))) *p = static_cast<std::uint8_t>(v >> (8 * i));
    }

    // UserCallbacks: the page table serves mapped memory; these see the rest.
    std::uint8_t MemoryRead8(VAddr a) override { return load_at<std::uint8_t>(a); }
    std::uint16_t MemoryRead16(VAddr a) override { return load_at<std::uint16_t>(a); }
    std::uint32_t MemoryRead32(VAddr a) override { return load_at<std::uint32_t>(a); }
    std::uint64_t MemoryRead64(VAddr a) override { return load_at<std::uint64_t>(a); }
    std::optional<std::uint32_t> MemoryReadCode(VAddr a) override {
        if (!at(a)) return std::nullopt;
        return load_at<std::uint32_t>(a);
    }
    void MemoryWrite8(VAddr a, std::uint8_t v) override { store_at(a, v); }
    void MemoryWrite16(VAddr a, std::uint16_t v) override { store_at(a, v); }
    void MemoryWrite32(VAddr a, std::uint32_t v) override { store_at(a, v); }
    void MemoryWrite64(VAddr a, std::uint64_t v) override { store_at(a, v); }
    void InterpreterFallback(VAddr pc, std::size_t) override {
        fault_ = "no interpreter for the instruction at " + std::to_string(pc);
        jit_->HaltExecution();
    }
    void CallSVC(std::uint32_t swi) override {
        if (kalm_.service(*jit_, swi)) return;
        if (swi == kSvcReturn) returned_ = true;
        else fault_ = "unexpected svc " + std::to_string(swi);
        jit_->HaltExecution();
    }
    void ExceptionRaised(VAddr pc, Dynarmic::A32::Exception e) override {
        fault_ = "exception " + std::to_string(static_cast<int>(e)) + " at " + std::to_string(pc);
        jit_->HaltExecution();
    }
    void AddTicks(std::uint64_t) override {}
    std::uint64_t GetTicksRemaining() override { return 0; }

    static void on_raise(Dynarmic::A32::Jit& jit, const kalm_guest_raise& raise, std::uint32_t guest_address,
                         bool thumb, void* user) {
        auto* self = static_cast<DynarmicMachine*>(user);
        self->raises_.push_back({raise, guest_address, jit.Regs()[14], thumb ? 1 : 0});
    }

    kalm::dynarmic::Adapter kalm_;
    kalm::dynarmic::FpState state_;
    std::array<std::uint8_t*, Dynarmic::A32::UserConfig::NUM_PAGE_TABLE_ENTRIES> table_;
    std::map<std::uint32_t, std::vector<std::uint8_t>> pages_;
    std::unique_ptr<Dynarmic::A32::Jit> jit_;
    bool returned_ = false;
    std::string fault_;
};

}  // namespace

std::unique_ptr<Machine> make_dynarmic() { return std::make_unique<DynarmicMachine>(); }

}  // namespace kalmguest
