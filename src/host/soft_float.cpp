// SPDX-License-Identifier: MIT
// The per-thread status word of the software flags (host/host_flags.hpp).
#include "host/host_flags.hpp"

#if defined(KALM_SOFT_FLAGS)
namespace kalm::lib {
KALM_TLS std::uint32_t tls_soft_status KALM_TLS_IE = 0;
}  // namespace kalm::lib
#endif
