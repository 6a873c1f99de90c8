// SPDX-License-Identifier: MIT
// Batch results against the scalar export, bit for bit: the comparison lives
// with the vector library, where the kalm tool's batch-check uses it too.
#pragma once

#include "../../tools/vectors/batch_compare.hpp"
