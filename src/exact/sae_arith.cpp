// SPDX-License-Identifier: MIT
#include "exact/sae_arith.hpp"

#if defined(KALM_SAE_ARITH)

#include "host/cpu_features.hpp"

namespace kalm::lib {

std::atomic<std::uint32_t> g_sae_state{SAE_UNKNOWN};

bool sae_find() {
    const bool present = cpu_has(CPU_AVX512);
    g_sae_state.store(present ? SAE_PRESENT : SAE_ABSENT, std::memory_order_relaxed);
    return present;
}

namespace {
// Found at load, so that the calls themselves find it known.
[[maybe_unused]] const bool g_found_at_load = sae_find();
}  // namespace

}  // namespace kalm::lib

#endif
