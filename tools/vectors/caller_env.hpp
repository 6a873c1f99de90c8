// SPDX-License-Identifier: MIT
// The floating-point environment a caller may have set in its thread before it
// calls an export: rounding mode, flush-to-zero, unmasked host traps, host
// flags the device does not have. The exports must give the device's results,
// flags and raises under any of them and leave the host register exactly as
// they found it, apart from the four sticky flags.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kalmtool {

// The host's floating-point register(s) as one word: MXCSR on x86-64; FPCR in
// the high half and FPSR in the low half on AArch64; FPSCR on 32-bit ARM.
using FpRegs = std::uint64_t;

struct CallerEnv {
    const char* name;
    FpRegs regs;  // installed before each call
};

// This host's environments, "default" (the ABI's initial state) first.
const std::vector<CallerEnv>& caller_envs();
const CallerEnv* find_caller_env(const std::string& name);
std::string caller_env_names();  // space-separated, for messages

// The environment the vector runner calls under (default: "default").
bool set_caller_env(const std::string& name);
const CallerEnv& caller_env();

// The sticky flags, in the device's layout, that `env` has set before a call.
unsigned preset_sticky(const CallerEnv& env);

// What changed between the installed register and `after`, the four sticky
// flags aside, e.g. "MXCSR 0x00009f80 -> 0x00001f82: DE set, FZ cleared";
// empty when nothing did.
std::string env_change(const CallerEnv& env, FpRegs after);

// Whether `env` has the device's environment (the default's control bits),
// what a caller inside a device-environment scope may have: flags only.
bool keeps_device_env(const CallerEnv& env);

FpRegs read_fp_regs();
void write_fp_regs(FpRegs regs);
// The default environment with the sticky flags of `after` kept.
void restore_default_env(FpRegs after);

// Installs `env`, runs `call`, reads the register back into `after` and
// restores the default environment before anything else runs, also when
// `call` throws (the runner's own code never runs with a caller's traps
// unmasked).
template <typename Call>
void call_in_env(const CallerEnv& env, FpRegs& after, Call&& call) {
    try {
        write_fp_regs(env.regs);
        call();
        after = read_fp_regs();
    } catch (...) {
        after = read_fp_regs();
        restore_default_env(after);
        throw;
    }
    restore_default_env(after);
}

// While one lives, a call that dies of SIGFPE is reported with this line and
// the caller environment before the process dies of the signal as it would
// have anyway, so that a trap can never pass for success.
class CallSite {
public:
    CallSite(const std::string& source, long line, const std::string& input);
    ~CallSite();
    CallSite(const CallSite&) = delete;
    CallSite& operator=(const CallSite&) = delete;
};

}  // namespace kalmtool
