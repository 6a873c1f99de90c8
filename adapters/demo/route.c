/* SPDX-License-Identifier: MIT */
/* A delivery drone's day: great-circle legs between depots (haversine
 * distance, initial bearing), then each leg's flight time with a drag-limited
 * cruise speed and the battery left after it. The same source runs natively
 * against kalmlib and as ARM guest code under an emulator, and must print the
 * same text. No C library: the text is formatted here. */
#include "demo_math.h"

#define PI 3.14159265358979323846
#define EARTH_KM 6371.0

struct depot { const char *name; double lat, lon; };
static const struct depot route[] = {
    {"Tromso", 69.6492, 18.9553}, {"Narvik", 68.4385, 17.4272}, {"Bodo", 67.2804, 14.4049},
    {"Mo i Rana", 66.3128, 14.1428}, {"Trondheim", 63.4305, 10.3951},
};

static char *put_s(char *o, const char *s) { while (*s) *o++ = *s++; return o; }
static char *put_u(char *o, unsigned v, int width) {
    char d[12]; int n = 0;
    do { d[n++] = (char)('0' + v % 10u); v /= 10u; } while (v != 0 || n < width);
    while (n > 0) *o++ = d[--n];
    return o;
}
static char *put_bits(char *o, double x) {
    union { double d; unsigned long long u; } b;
    b.d = x;
    o = put_s(o, "0x");
    for (int s = 60; s >= 0; s -= 4) *o++ = "0123456789abcdef"[(b.u >> s) & 15u];
    return o;
}
/* x with `places` decimals, rounded half away from zero. */
static char *put_f(char *o, double x, int places) {
    unsigned scale = 1; int i;
    for (i = 0; i < places; ++i) scale *= 10u;
    if (x < 0) { *o++ = '-'; x = -x; }
    unsigned long long v = (unsigned long long)(x * scale + 0.5);
    o = put_u(o, (unsigned)(v / scale), 1);
    if (places > 0) { *o++ = '.'; o = put_u(o, (unsigned)(v % scale), places); }
    return o;
}

int demo_main(char *out) {
    char *o = out;
    double total = 0, battery = 100.0;
    const double rad = PI / 180.0;
    for (unsigned i = 0; i + 1 < sizeof route / sizeof route[0]; ++i) {
        const struct depot *a = &route[i], *b = &route[i + 1];
        const double p1 = a->lat * rad, p2 = b->lat * rad, dl = (b->lon - a->lon) * rad;
        const double sp = m_sin((p2 - p1) / 2), sl = m_sin(dl / 2);
        const double h = sp * sp + m_cos(p1) * m_cos(p2) * sl * sl;
        const double km = 2 * EARTH_KM * m_atan2(m_sqrt(h), m_sqrt(1 - h));
        double brg = m_atan2(m_sin(dl) * m_cos(p2), m_cos(p1) * m_sin(p2) - m_sin(p1) * m_cos(p2) * m_cos(dl)) / rad;
        if (brg < 0) brg += 360;
        /* Cruise speed falls with the leg's headwind share; drag power ~ v^3. */
        const double v = 95.0 * m_pow(1.0 - 0.25 * m_cos(brg * rad) * m_cos(brg * rad), 1.5);
        const double hours = km / v;
        battery *= m_exp(-hours * m_pow(v / 100.0, 3.0) * 0.21);
        total += km;
        o = put_s(o, a->name); o = put_s(o, " -> "); o = put_s(o, b->name);
        o = put_s(o, ": "); o = put_f(o, km, 3); o = put_s(o, " km, bearing ");
        o = put_f(o, brg, 2); o = put_s(o, ", "); o = put_f(o, v, 2); o = put_s(o, " km/h, battery ");
        o = put_f(o, battery, 4); o = put_s(o, "%\n");
    }
    o = put_s(o, "total "); o = put_f(o, total, 3);
    o = put_s(o, " km; charge halvings used "); o = put_f(o, -m_log(battery / 100.0) / m_log(2.0), 6);
    o = put_s(o, "\nbits: total "); o = put_bits(o, total); o = put_s(o, ", battery "); o = put_bits(o, battery);
    o = put_s(o, "\n");
    *o = 0;
    return (int)(o - out);
}

#ifdef KALM_GUEST
/* The host finds the entry point at the start of the image. */
__attribute__((section(".entry"), used)) const unsigned demo_entries[] = {(unsigned)&demo_main};
#else
#include <stdio.h>
int main(void) {
    static char text[4096];
    fwrite(text, 1, (size_t)demo_main(text), stdout);
    return 0;
}
#endif
