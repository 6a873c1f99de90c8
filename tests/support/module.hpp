// SPDX-License-Identifier: MIT
// Which loaded module (executable or shared library) holds an address, and
// whether a name is exported, on ELF hosts (dladdr, dlsym) and on Windows
// (GetModuleHandleEx, GetProcAddress).
#pragma once

#include <cstdint>
#include <string>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace kalmtest {

// The shared library's file name as the loader reports it contains this.
#if defined(_WIN32)
inline constexpr const char* library_file_stem = "kalmlib.dll";
#else
inline constexpr const char* library_file_stem = "libkalmlib";
#endif

// The file of the module that holds `addr`, or "?".
inline std::string module_path_of(std::uintptr_t addr) {
#if defined(_WIN32)
    HMODULE m = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(addr), &m))
        return "?";
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(m, path, MAX_PATH);
    return n == 0 ? "?" : std::string(path, n);
#else
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(addr), &info) || !info.dli_fname) return "?";
    return info.dli_fname;
#endif
}

// Whether the library the program linked exports `name`.
inline bool library_exports(const char* name) {
#if defined(_WIN32)
    HMODULE lib = GetModuleHandleA("kalmlib.dll");
    return lib != nullptr && GetProcAddress(lib, name) != nullptr;
#else
    return dlsym(RTLD_DEFAULT, name) != nullptr;
#endif
}

}  // namespace kalmtest
