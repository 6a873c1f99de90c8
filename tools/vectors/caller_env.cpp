// SPDX-License-Identifier: MIT
#include "caller_env.hpp"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <csignal>
#include <cstdio>
#include <cstring>

#include "kalmlib/kalmlib.h"

#if !defined(__x86_64__) && !defined(__aarch64__) && !(defined(__arm__) && defined(__ARM_PCS_VFP)) && \
    !defined(__wasm__)
#include <cfenv>
#define KALMTOOL_CFENV_ONLY 1
#endif

namespace kalmtool {
namespace {

// A named group of register bits, for saying what a call changed.
struct Field {
    FpRegs mask;
    const char* name;
};

#if defined(__x86_64__)
// MXCSR. Flags IE 0, DE 1, ZE 2, OE 3, UE 4, PE 5; DAZ 6; masks 7-12; RC 13-14; FZ 15.
constexpr FpRegs kDefault = 0x1F80, kSticky = 0x39, kCompared = 0xFFFF & ~kSticky, kControl = 0xFFC0;
constexpr FpRegs DE = 1 << 1, ZE = 1 << 2, DAZ = 1 << 6, FZ = 1 << 15;
constexpr FpRegs IM = 1 << 7, DM = 1 << 8, ZM = 1 << 9, OM = 1 << 10, UM = 1 << 11, PM = 1 << 12;
constexpr FpRegs RC_DOWN = 1 << 13, RC_UP = 2 << 13, RC_ZERO = 3 << 13;
const char* const kRegisterName = "MXCSR";
constexpr bool kTwoHalves = false;
const std::vector<CallerEnv> kEnvs = {
    {"default", kDefault},
    {"ftz", kDefault | FZ},
    {"daz", kDefault | DAZ},
    {"ftz-daz", kDefault | FZ | DAZ},
    {"up", kDefault | RC_UP},
    {"down", kDefault | RC_DOWN},
    {"zero", kDefault | RC_ZERO},
    {"host-flags", kDefault | DE | ZE},
    {"sticky-preset", kDefault | kSticky},
    // Last, so that a run of every environment reports the others before a trap ends it.
    {"trap-invalid", kDefault & ~IM},
    {"trap-divbyzero", kDefault & ~ZM},
    {"trap-overflow", kDefault & ~OM},
    {"trap-underflow", kDefault & ~UM},
    {"trap-inexact", kDefault & ~PM},
    {"trap-denormal", kDefault & ~DM},
    {"all", FZ | DAZ | RC_UP | DE | ZE},
};
const Field kFields[] = {{1 << 0, "IE"}, {DE, "DE"},  {ZE, "ZE"},  {1 << 3, "OE"}, {1 << 4, "UE"},
                         {1 << 5, "PE"}, {DAZ, "DAZ"}, {IM, "IM"}, {DM, "DM"},     {ZM, "ZM"},
                         {OM, "OM"},     {UM, "UM"},   {PM, "PM"}, {3 << 13, "RC"}, {FZ, "FZ"}};
unsigned to_device_sticky(FpRegs r) { return static_cast<unsigned>((r & 0x01) | ((r >> 1) & 0x1C)); }

FpRegs read_host() {
    std::uint32_t m;
    asm volatile("stmxcsr %0" : "=m"(m) : : "memory");
    return m;
}
void write_host(FpRegs r) {
    const std::uint32_t m = static_cast<std::uint32_t>(r);
    asm volatile("ldmxcsr %0" : : "m"(m) : "memory");
}

#elif defined(__aarch64__) || defined(__arm__)
// AArch64: FPCR (control) in the high half, FPSR (status) in the low half.
// 32-bit ARM: FPSCR holds both, and its NZCV bits as well.
#if defined(__aarch64__)
constexpr int kControlShift = 32;
const char* const kRegisterName = "FPCR:FPSR";
constexpr bool kTwoHalves = true;
#else
constexpr int kControlShift = 0;
const char* const kRegisterName = "FPSCR";
constexpr bool kTwoHalves = false;
#endif
constexpr FpRegs ctl(FpRegs bits) { return bits << kControlShift; }
// Flags IOC 0, DZC 1, OFC 2, UFC 3, IXC 4, IDC 7 (DZC and IDC have no device counterpart).
constexpr FpRegs kDefault = 0, kSticky = 0x1D, kCompared = ~kSticky & (kControlShift ? ~FpRegs{0} : 0xFFFFFFFFu);
constexpr FpRegs kControl = kControlShift ? ~FpRegs{0} << 32 : 0x07FF9F00u;
constexpr FpRegs DZC = 1 << 1, IDC = 1 << 7;
constexpr FpRegs RM_UP = ctl(1 << 22), RM_DOWN = ctl(2 << 22), RM_ZERO = ctl(3 << 22), FZ = ctl(1 << 24),
                 DN = ctl(1 << 25);
// Traps are left out: qemu does not implement them and most cores do not either.
const std::vector<CallerEnv> kEnvs = {
    {"default", kDefault},
    {"ftz", kDefault | FZ},
    {"up", kDefault | RM_UP},
    {"down", kDefault | RM_DOWN},
    {"zero", kDefault | RM_ZERO},
    {"dn", kDefault | DN},
    {"host-flags", kDefault | DZC | IDC},
    {"sticky-preset", kDefault | kSticky},
    {"all", FZ | DN | RM_UP | DZC | IDC},
};
const Field kFields[] = {{1 << 0, "IOC"},      {DZC, "DZC"},         {1 << 2, "OFC"},      {1 << 3, "UFC"},
                         {1 << 4, "IXC"},      {IDC, "IDC"},         {1 << 27, "QC"},      {FpRegs{15} << 28, "NZCV"},
                         {ctl(1 << 8), "IOE"}, {ctl(1 << 9), "DZE"}, {ctl(1 << 10), "OFE"}, {ctl(1 << 11), "UFE"},
                         {ctl(1 << 12), "IXE"}, {ctl(1 << 15), "IDE"}, {ctl(7 << 16), "Len"}, {ctl(1 << 19), "FZ16"},
                         {ctl(3 << 20), "Stride"}, {ctl(3 << 22), "RMode"}, {FZ, "FZ"}, {DN, "DN"},
                         {ctl(1 << 26), "AHP"}};
unsigned to_device_sticky(FpRegs r) { return static_cast<unsigned>(r & 0x1D); }

#if defined(__aarch64__)
FpRegs read_host() {
    std::uint64_t c, s;
    asm volatile("mrs %0, fpcr\n\tmrs %1, fpsr" : "=r"(c), "=r"(s) : : "memory");
    return (c << 32) | (s & 0xFFFFFFFFu);
}
void write_host(FpRegs r) {
    const std::uint64_t c = r >> 32, s = r & 0xFFFFFFFFu;
    asm volatile("msr fpcr, %0\n\tmsr fpsr, %1" : : "r"(c), "r"(s) : "memory");
}
#else
FpRegs read_host() {
    std::uint32_t v;
    asm volatile("vmrs %0, fpscr" : "=r"(v) : : "memory");
    return v;
}
void write_host(FpRegs r) {
    const std::uint32_t v = static_cast<std::uint32_t>(r);
    asm volatile("vmsr fpscr, %0" : : "r"(v) : "memory");
}
#endif

#elif defined(__wasm__)
// WebAssembly: one rounding mode, no traps, no status register. A caller's
// environment there is the library's status word (its software flags) alone:
// clear, or with flags set before the call.
constexpr FpRegs kDefault = 0, kSticky = 0x1D, kCompared = ~kSticky, kControl = ~kSticky;
const char* const kRegisterName = "status";
constexpr bool kTwoHalves = false;
const std::vector<CallerEnv> kEnvs = {
    {"default", kDefault},
    {"sticky-preset", kDefault | kSticky},
};
const Field kFields[] = {{~kSticky, "status"}};
unsigned to_device_sticky(FpRegs r) { return static_cast<unsigned>(r & 0x1D); }
FpRegs read_host() { return kalm_status() & kSticky; }
void write_host(FpRegs r) { kalm_set_status((kalm_status() & ~0x1Du) | static_cast<std::uint32_t>(r & kSticky)); }

#else
// Elsewhere only what <cfenv> offers: the rounding mode (high half) and the
// four flags in the device's layout (low half).
constexpr FpRegs kDefault = FpRegs{FE_TONEAREST} << 32, kSticky = 0x1D, kCompared = ~kSticky,
                 kControl = ~FpRegs{0} << 32;
const char* const kRegisterName = "rounding:flags";
constexpr bool kTwoHalves = true;
const std::vector<CallerEnv> kEnvs = {
    {"default", kDefault},
#if defined(FE_UPWARD)
    {"up", FpRegs{FE_UPWARD} << 32},
#endif
#if defined(FE_DOWNWARD)
    {"down", FpRegs{FE_DOWNWARD} << 32},
#endif
#if defined(FE_TOWARDZERO)
    {"zero", FpRegs{FE_TOWARDZERO} << 32},
#endif
    {"sticky-preset", kDefault | kSticky},
};
const Field kFields[] = {{~FpRegs{0} << 32, "rounding"}};
unsigned to_device_sticky(FpRegs r) { return static_cast<unsigned>(r & 0x1D); }
constexpr struct {
    unsigned device;
    int host;
} kFlagMap[] = {{0x01, FE_INVALID}, {0x04, FE_OVERFLOW}, {0x08, FE_UNDERFLOW}, {0x10, FE_INEXACT}};
FpRegs read_host() {
    FpRegs r = static_cast<FpRegs>(static_cast<unsigned>(std::fegetround())) << 32;
    for (const auto& f : kFlagMap)
        if (std::fetestexcept(f.host)) r |= f.device;
    return r;
}
void write_host(FpRegs r) {
    std::fesetround(static_cast<int>(r >> 32));
    std::feclearexcept(FE_ALL_EXCEPT);
    for (const auto& f : kFlagMap)
        if (r & f.device) std::feraiseexcept(f.host);
}
#endif

const CallerEnv* g_env = &kEnvs.front();

std::string hex(FpRegs r) {
    char buf[24];
    if (kTwoHalves)
        std::snprintf(buf, sizeof buf, "0x%08x:%08x", static_cast<unsigned>(r >> 32), static_cast<unsigned>(r));
    else
        std::snprintf(buf, sizeof buf, "0x%08llx", static_cast<unsigned long long>(r));
    return buf;
}

char g_site[512];

#if defined(_WIN32)
// The trap report. Windows delivers an SSE trap as a structured exception
// (STATUS_FLOAT_MULTIPLE_TRAPS or _FAULTS, or one of the single float codes);
// the runner never asks the library for structured exceptions, so every float
// code here is a trap. It is named, and the process ends with the code as its
// status, as an unhandled exception would end it, without a debugger's detour.
PVOID g_reporter = nullptr;

void put(const char* s) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), s, static_cast<DWORD>(std::strlen(s)), &written, nullptr);
}

LONG CALLBACK report_trap(EXCEPTION_POINTERS* info) {
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    const bool float_code = (code >= 0xC000008Du && code <= 0xC0000093u) || code == 0xC00002B4u || code == 0xC00002B5u;
    if (!float_code || g_site[0] == '\0') return EXCEPTION_CONTINUE_SEARCH;
    char buf[64];
    std::snprintf(buf, sizeof buf, "floating-point trap (0x%08lX)", static_cast<unsigned long>(code));
    put(buf);
    put(" under caller environment ");
    put(g_env->name);
    put(" in ");
    put(g_site);
    put("\n");
    TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_CONTINUE_SEARCH;
}
#else
// The SIGFPE report. Async-signal-safe: only write(2) and sigaction(2).
struct sigaction g_previous_sigfpe;
bool g_reporter_installed = false;

void put(const char* s) {
    for (std::size_t n = std::strlen(s); n > 0;) {
        const ssize_t w = ::write(STDERR_FILENO, s, n);
        if (w <= 0) return;
        s += w;
        n -= static_cast<std::size_t>(w);
    }
}

void report_sigfpe(int, siginfo_t* info, void*) {
    // The kernel's code comes from the flags and masks in the register, so
    // flags the caller had set can make it name another cause.
    static const struct {
        int code;
        const char* name;
    } kCodes[] = {{FPE_INTDIV, "FPE_INTDIV"}, {FPE_INTOVF, "FPE_INTOVF"}, {FPE_FLTDIV, "FPE_FLTDIV"},
                  {FPE_FLTOVF, "FPE_FLTOVF"}, {FPE_FLTUND, "FPE_FLTUND"}, {FPE_FLTRES, "FPE_FLTRES"},
                  {FPE_FLTINV, "FPE_FLTINV"}};
    put("SIGFPE (");
    const char* name = "unknown code";
    for (const auto& c : kCodes)
        if (info->si_code == c.code) name = c.name;
    put(name);
    put(") under caller environment ");
    put(g_env->name);
    if (g_site[0] != '\0') {
        put(" in ");
        put(g_site);
    }
    put("\n");
    // Back to whoever handled SIGFPE before (by default: death by the
    // signal); a trapping instruction traps again on return.
    sigaction(SIGFPE, &g_previous_sigfpe, nullptr);
    if (info->si_code <= 0) raise(SIGFPE);
}
#endif

}  // namespace

const std::vector<CallerEnv>& caller_envs() { return kEnvs; }

const CallerEnv* find_caller_env(const std::string& name) {
    for (const auto& e : kEnvs)
        if (name == e.name) return &e;
    return nullptr;
}

std::string caller_env_names() {
    std::string s;
    for (const auto& e : kEnvs) s += (s.empty() ? "" : " ") + std::string(e.name);
    return s;
}

bool set_caller_env(const std::string& name) {
    const CallerEnv* e = find_caller_env(name);
    if (e == nullptr) return false;
    g_env = e;
    return true;
}

const CallerEnv& caller_env() { return *g_env; }

bool keeps_device_env(const CallerEnv& env) { return (env.regs & kControl) == (kDefault & kControl); }

unsigned preset_sticky(const CallerEnv& env) { return to_device_sticky(env.regs & kSticky); }

std::string env_change(const CallerEnv& env, FpRegs after) {
    const FpRegs diff = (env.regs ^ after) & kCompared;
    if (diff == 0) return "";
    std::string what;
    auto add = [&](const std::string& part) { what += (what.empty() ? "" : ", ") + part; };
    FpRegs named = 0;
    for (const Field& f : kFields) {
        named |= f.mask;
        if ((diff & f.mask) == 0) continue;
        if ((f.mask & (f.mask - 1)) == 0) {
            add(std::string(f.name) + ((after & f.mask) ? " set" : " cleared"));
        } else {
            const FpRegs low = f.mask & -f.mask;
            add(std::string(f.name) + " " + std::to_string((env.regs & f.mask) / low) + " -> " +
                std::to_string((after & f.mask) / low));
        }
    }
    if (diff & ~named) add("other bits " + hex(diff & ~named));
    return std::string(kRegisterName) + " " + hex(env.regs) + " -> " + hex(after) + ": " + what;
}

FpRegs read_fp_regs() { return read_host(); }
void write_fp_regs(FpRegs regs) { write_host(regs); }
void restore_default_env(FpRegs after) { write_host(kDefault | (after & kSticky)); }

CallSite::CallSite(const std::string& source, long line, const std::string& input) {
#if defined(_WIN32)
    if (g_reporter == nullptr) g_reporter = AddVectoredExceptionHandler(1, report_trap);
#else
    if (!g_reporter_installed) {
        struct sigaction sa {};
        sa.sa_sigaction = report_sigfpe;
        sa.sa_flags = SA_SIGINFO;
        sigemptyset(&sa.sa_mask);
        g_reporter_installed = sigaction(SIGFPE, &sa, &g_previous_sigfpe) == 0;
    }
#endif
    std::snprintf(g_site, sizeof g_site, "%s:%ld: %s", source.c_str(), line, input.c_str());
}

CallSite::~CallSite() { g_site[0] = '\0'; }

}  // namespace kalmtool
