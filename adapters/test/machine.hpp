// SPDX-License-Identifier: MIT
// An emulated ARMv4T machine with kalmlib's stub page, as the conformance run
// and the demo use it: a flat guest image, a stack, one guest function called
// at a time. One implementation per adapter (machine_unicorn.cpp,
// machine_dynarmic.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kalmlib/kalmlib.h"

namespace kalmguest {

inline constexpr std::uint32_t kImageBase = 0x00010000u;  // where guest.ld links the image
inline constexpr std::uint32_t kDataBase = 0x00100000u;   // 64 KiB the host fills (jobs)
inline constexpr std::uint32_t kStackTop = 0x00200000u;   // 64 KiB below it
inline constexpr std::uint32_t kStubBase = 0x01F00000u;   // the library's stub page
inline constexpr std::uint32_t kReturnHere = 0x00000F00u; // a guest function "returns" here: the run ends

// What the raise callback saw.
struct Raise {
    kalm_guest_raise record;
    std::uint32_t guest_address;  // as the adapter reported it
    std::uint32_t lr;             // the guest's lr at the stub
    int thumb;
};

class Machine {
public:
    virtual ~Machine() = default;
    virtual const char* name() const = 0;
    // Loads a flat image at kImageBase; false with `error` set on failure.
    virtual bool load(const std::vector<std::uint8_t>& image, std::string& error) = 0;
    virtual std::uint32_t stub(int ordinal) const = 0;
    virtual void write(std::uint32_t addr, const void* p, std::size_t n) = 0;
    virtual void read(std::uint32_t addr, void* p, std::size_t n) = 0;
    // Calls the guest function at `fn` (odd: a Thumb function) with r0, r1
    // until it returns; false
    // (with `error`) if the emulation failed.
    virtual bool call(std::uint32_t fn, std::uint32_t r0, std::uint32_t r1, std::string& error) = 0;
    // The guest thread's floating-point status and control words.
    virtual void set_fp(std::uint32_t status, std::uint32_t control) = 0;
    virtual std::uint32_t status() const = 0;
    virtual std::uint64_t calls() const = 0;  // guest calls the adapter serviced
    // Raises since the last take_raises().
    std::vector<Raise> take_raises() { return std::exchange(raises_, {}); }

protected:
    std::vector<Raise> raises_;
};

std::unique_ptr<Machine> make_unicorn();   // nullptr where not built
std::unique_ptr<Machine> make_dynarmic();  // nullptr where not built

std::optional<std::vector<std::uint8_t>> read_image(const std::string& path);

}  // namespace kalmguest
