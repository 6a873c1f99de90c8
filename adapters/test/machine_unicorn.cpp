// SPDX-License-Identifier: MIT
// The Unicorn machine: CPU model TI925T (ARMv4T), the C adapter's stub page.
#include <cstring>

#include "kalm_unicorn.h"
#include "machine.hpp"

namespace kalmguest {
namespace {

class UnicornMachine final : public Machine {
public:
    ~UnicornMachine() override {
        if (adapter_) kalm_uc_detach(adapter_);
        if (uc_) uc_close(uc_);
    }
    const char* name() const override { return "unicorn"; }

    bool load(const std::vector<std::uint8_t>& image, std::string& error) override {
        uc_err e = uc_open(UC_ARCH_ARM, UC_MODE_ARM, &uc_);
        if (e == UC_ERR_OK) e = uc_ctl_set_cpu_model(uc_, UC_CPU_ARM_TI925T);  // before any mapping
        const std::uint32_t image_size = (static_cast<std::uint32_t>(image.size()) + 0xFFFu) & ~0xFFFu;
        if (e == UC_ERR_OK) e = uc_mem_map(uc_, kImageBase, image_size, UC_PROT_READ | UC_PROT_EXEC);
        if (e == UC_ERR_OK) e = uc_mem_write(uc_, kImageBase, image.data(), image.size());
        if (e == UC_ERR_OK) e = uc_mem_map(uc_, kDataBase, 0x10000, UC_PROT_READ | UC_PROT_WRITE);
        if (e == UC_ERR_OK) e = uc_mem_map(uc_, kStackTop - 0x10000, 0x10000, UC_PROT_READ | UC_PROT_WRITE);
        // The page a finished guest function returns to.
        if (e == UC_ERR_OK) e = uc_mem_map(uc_, kReturnHere & ~0xFFFu, 0x1000, UC_PROT_READ | UC_PROT_EXEC);
        if (e != UC_ERR_OK) {
            error = uc_strerror(e);
            return false;
        }
        adapter_ = kalm_uc_attach(uc_, kStubBase, &e);
        if (!adapter_) {
            error = std::string("kalm_uc_attach: ") + uc_strerror(e);
            return false;
        }
        kalm_uc_set_raise_callback(adapter_, &UnicornMachine::on_raise, this);
        kalm_uc_set_fp_state(adapter_, &state_);
        return true;
    }
    std::uint32_t stub(int ordinal) const override { return kalm_uc_stub(adapter_, ordinal); }
    void write(std::uint32_t addr, const void* p, std::size_t n) override { uc_mem_write(uc_, addr, p, n); }
    void read(std::uint32_t addr, void* p, std::size_t n) override { uc_mem_read(uc_, addr, p, n); }

    bool call(std::uint32_t fn, std::uint32_t r0, std::uint32_t r1, std::string& error) override {
        const std::uint32_t sp = kStackTop, lr = kReturnHere;
        uc_reg_write(uc_, UC_ARM_REG_R0, &r0);
        uc_reg_write(uc_, UC_ARM_REG_R1, &r1);
        uc_reg_write(uc_, UC_ARM_REG_SP, &sp);
        uc_reg_write(uc_, UC_ARM_REG_LR, &lr);
        // An odd entry starts in Thumb state.
        const uc_err e = uc_emu_start(uc_, fn, kReturnHere, 0, 0);
        if (e != UC_ERR_OK) {
            error = uc_strerror(e);
            return false;
        }
        std::uint32_t pc = 0;
        uc_reg_read(uc_, UC_ARM_REG_PC, &pc);
        if (pc != kReturnHere) {
            error = "the guest stopped at " + std::to_string(pc);
            return false;
        }
        return true;
    }
    void set_fp(std::uint32_t status, std::uint32_t control) override { state_ = {status, control}; }
    std::uint32_t status() const override { return state_.status; }
    std::uint64_t calls() const override { return kalm_uc_calls(adapter_); }

private:
    static void on_raise(uc_engine* uc, const kalm_guest_raise* raise, uint32_t guest_address, int thumb,
                         void* user) {
        auto* self = static_cast<UnicornMachine*>(user);
        std::uint32_t lr = 0;
        uc_reg_read(uc, UC_ARM_REG_LR, &lr);
        // The callback is called from C: nothing here may throw.
        try {
            self->raises_.push_back({*raise, guest_address, lr, thumb});
        } catch (...) {
            uc_emu_stop(uc);
        }
    }

    uc_engine* uc_ = nullptr;
    kalm_uc* adapter_ = nullptr;
    kalm_uc_fp_state state_{0, KALM_MASK_ALL};
};

}  // namespace

std::unique_ptr<Machine> make_unicorn() { return std::make_unique<UnicornMachine>(); }

}  // namespace kalmguest
