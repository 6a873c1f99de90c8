/* SPDX-License-Identifier: MIT */
/* The math the demo uses: kalmlib's C entries natively, the device library's
 * exports in the ARM guest: the adapters' stubs, 8 bytes apart by ordinal. */
#ifndef KALM_DEMO_MATH_H
#define KALM_DEMO_MATH_H

#ifdef KALM_GUEST
#define KALM_STUB_BASE 0x01F00000u
#define KALM_D_D(ord) ((double (*)(double))(KALM_STUB_BASE + 8u * (ord)))
#define KALM_DD_D(ord) ((double (*)(double, double))(KALM_STUB_BASE + 8u * (ord)))
#define m_atan2 KALM_DD_D(9)
#define m_cos KALM_D_D(14)
#define m_exp KALM_D_D(18)
#define m_log KALM_D_D(25)
#define m_pow KALM_DD_D(29)
#define m_sin KALM_D_D(31)
#define m_sqrt KALM_D_D(35)
#else
#include <kalmlib/kalmlib.h>
#define m_atan2 kalm_atan2
#define m_cos kalm_cos
#define m_exp kalm_exp
#define m_log kalm_log
#define m_pow kalm_pow
#define m_sin kalm_sin
#define m_sqrt kalm_sqrt
#endif

#endif
