// SPDX-License-Identifier: MIT
// The parent project's own source: kalmlib must not compile it.
#error "kalmlib compiled a source of the project that includes it"
