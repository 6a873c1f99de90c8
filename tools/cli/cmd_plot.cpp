// SPDX-License-Identifier: MIT
// kalm plot NAME [LO HI]: the ulp error of an export against its input,
// drawn by gnuplot. One-argument exports: the error of every sampled input
// (the host libm's in grey beside it); two-argument exports and _yn: a heat
// map of the error over a grid (for _yn, orders against x). --data writes
// the numbers instead, for any other plotting tool.
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "commands.hpp"

namespace kalmtool {
namespace {

bool parse_real(const std::string& s, double& v) {
    if (s.empty()) return false;
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return end == s.c_str() + s.size() && std::isfinite(v);
}

// "A,B" as two finite numbers, A < B.
bool parse_pair(const std::string& s, double& a, double& b) {
    const auto comma = s.find(',');
    return comma != std::string::npos && parse_real(s.substr(0, comma), a) && parse_real(s.substr(comma + 1), b) &&
           a < b;
}

// An axis's ends from a range: the interval of a uniform or log axis, or of
// the whole format for the "any" ones.
void axis_ends(const Axis& a, bool single, double& lo, double& hi) {
    lo = a.lo;
    hi = a.hi;
    if (a.dist == Dist::AnyFinite || a.dist == Dist::PositiveFinite || !(lo < hi)) {
        lo = a.dist == Dist::PositiveFinite ? 0 : -10;
        hi = 10;
    }
    (void)single;
}

double grid_at(double lo, double hi, int i, int n, bool log) {
    const double t = (i + 0.5) / n;
    return log ? std::exp2(std::log2(lo) + t * (std::log2(hi) - std::log2(lo))) : lo + t * (hi - lo);
}

std::string fmt(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

}  // namespace

int cmd_plot(int argc, char** argv) {
    long long points = 4000, grid = 120, seed = 1;
    std::string output, size = "640,400", yrange;
    bool data_only = false, log_uniform = false;
    Options options = command_options("plot");
    options.text("--output", output, "FILE", "the PNG to write (default: NAME.png)")
        .count("--points", points, 10, 10000000, "one-argument exports: random inputs drawn (default 4000)")
        .count("--grid", grid, 4, 2000, "two-argument exports: cells per side of the heat map (default 120)")
        .text("--y", yrange, "LO,HI", "two-argument exports: the interval of the second argument (default: LO HI too)")
        .flag("--log-uniform", log_uniform, "with LO HI: log-uniform inputs (and a log x axis), 0 < LO")
        .count("--seed", seed, 0, 1ll << 62, "seed of the random inputs (default 1)")
        .text("--size", size, "W,H", "image size in pixels (default 640,400)")
        .flag("--data", data_only, "write the data to stdout instead of drawing: x [y|n] kalm_ulp libm_ulp");
    std::vector<std::string> ops;
    int status = 0;
    if (!parse_command_line(options, argc, argv, ops, status)) return status;
    if (ops.empty() || ops.size() == 2 || ops.size() > 3) return bad_input("plot NAME [LO HI] (see 'kalm plot --help')");
    std::string err;
    const Function* f = find_function(ops[0], err);
    if (f == nullptr) return bad_input(err);
    int w = 0, h = 0;
    if (std::sscanf(size.c_str(), "%d,%d", &w, &h) != 2 || w < 100 || h < 100 || w > 8000 || h > 8000)
        return bad_input("--size: '" + size + "' is not W,H in pixels (100 to 8000)");
    const bool yn = f->signature == KALM_SIG_ID_D;
    const bool two = f->arity == 2 && !yn;
    double lo = 0, hi = 0;
    if (ops.size() == 3) {
        if (!parse_real(ops[1], lo) || !parse_real(ops[2], hi) || !(lo < hi))
            return bad_input("plot NAME LO HI: two finite numbers, LO below HI");
    } else {
        axis_ends(f->bench.x, f->single, lo, hi);
        log_uniform = f->bench.x.dist == Dist::LogUniform;
    }
    if (log_uniform && !(lo > 0)) return bad_input("--log-uniform needs 0 < LO");
    double ylo = lo, yhi = hi;
    if (!yrange.empty()) {
        if (!two) return bad_input("--y is for two-argument exports");
        if (!parse_pair(yrange, ylo, yhi)) return bad_input("--y: '" + yrange + "' is not LO,HI with LO below HI");
    } else if (two && ops.size() != 3) {
        axis_ends(f->bench.y, f->single, ylo, yhi);
    }
    int n_lo = f->bench.n_lo, n_hi = f->bench.n_hi;
    if (output.empty()) output = f->name + ".png";

    // The numbers.
    kalm_set_control_word(KALM_MASK_ALL);
    std::string data;
    double worst = 0;
    long long nonfinite = 0;
    auto cell = [&](double e) {
        if (!std::isfinite(e)) {
            ++nonfinite;
            return std::string("NaN");
        }
        worst = std::max(worst, e);
        return fmt(e);
    };
    std::string sample;
    if (!two && !yn) {
        const Range r = interval_range(*f, lo, hi, log_uniform);
        std::uint64_t state = mix64(static_cast<std::uint64_t>(seed) ^ hash_name(f->name));
        std::vector<double> xs;
        for (long long i = 0; i < points; ++i) xs.push_back(draw(r, f->single, state).x);
        std::sort(xs.begin(), xs.end());
        for (double x : xs) {
            Input in;
            in.x = x;
            double host = 0;
            const double e = ulp_error_at(*f, in, &host);
            data += fmt(x) + " " + cell(e) + " " + (std::isfinite(host) ? fmt(host) : "NaN") + "\n";
        }
        sample = std::to_string(points) + (log_uniform ? " log-uniform" : " uniform") + " random inputs in [" +
                 fmt(lo) + ", " + fmt(hi) + "], seed " + std::to_string(seed);
    } else {
        const int gx = static_cast<int>(grid);
        const int gy = yn ? n_hi - n_lo + 1 : gx;
        for (int j = 0; j < gy; ++j) {
            for (int i = 0; i < gx; ++i) {
                Input in;
                in.x = grid_at(lo, hi, i, gx, log_uniform);
                if (yn) in.n = n_lo + j;
                else in.y = grid_at(ylo, yhi, j, gy, false);
                // Built with GCC 12 at -O3, casts to float written here were
                // missing from the code (no conversion instruction; the grid's
                // values reached MPFR unrounded; the cause is not found). The
                // catalogue's helper, in its own file, rounds them.
                in.x = in_format(*f, in.x);
                in.y = in_format(*f, in.y);
                double host = 0;
                const double e = ulp_error_at(*f, in, &host);
                data += fmt(in.x) + " " + (yn ? std::to_string(in.n) : fmt(in.y)) + " " + cell(e) + " " +
                        (std::isfinite(host) ? fmt(host) : "NaN") + "\n";
            }
            data += "\n";
        }
        sample = std::to_string(gx) + "x" + std::to_string(gy) + " grid, " + (yn ? "x" : "first") + " in [" + fmt(lo) +
                 ", " + fmt(hi) + "], " +
                 (yn ? "n " + std::to_string(n_lo) + ".." + std::to_string(n_hi)
                     : "second in [" + fmt(ylo) + ", " + fmt(yhi) + "]");
    }
    if (data_only) {
        std::printf("# kalm plot %s: %s; columns: x %skalm_ulp libm_ulp (NaN: a NaN, infinity or zero where the "
                    "exact value is none)\n%s",
                    f->name.c_str(), sample.c_str(), two ? "y " : yn ? "n " : "", data.c_str());
        return 0;
    }

    // The picture: errors above 8 ulp get a log scale, so that the
    // ordinary half-ulp band and the spikes both show.
    const bool logscale = worst > 8;
    std::string script = "set terminal pngcairo size " + std::to_string(w) + "," + std::to_string(h) +
                         " font 'DejaVu Sans,9'\nset output '" + output + "'\n$d << EOD\n" + data + "EOD\n";
    char title[512];
    std::snprintf(title, sizeof title, "%s: ulp error against MPFR, max %s\\n%s%s", f->name.c_str(),
                  fmt_ulp(worst).c_str(), sample.c_str(),
                  nonfinite ? (", " + std::to_string(nonfinite) + " non-finite left out").c_str() : "");
    // atan2(y, x) takes y first: the axes name the arguments by their place.
    script += std::string("set title \"") + title + "\" noenhanced\nset xlabel '" +
              (two ? "first argument" : "x") + "'\n";
    if (log_uniform) script += "set logscale x\n";
    if (!two && !yn) {
        script += "set ylabel 'ulp error'\nset key top left opaque\nset grid\n";
        if (logscale) script += "set logscale y\nset yrange [0.01:*]\n";
        else script += "set yrange [0:*]\n";
        // The key's samples are drawn from empty series with larger points.
        script += "plot $d using 1:3 with points pt 7 ps 0.25 lc rgb '#b0b0b0' notitle, "
                  "$d using 1:2 with points pt 7 ps 0.25 lc rgb '#1f4e9c' notitle, "
                  "NaN with points pt 7 ps 1 lc rgb '#b0b0b0' title 'host libm', "
                  "NaN with points pt 7 ps 1 lc rgb '#1f4e9c' title 'kalmlib'\n";
    } else {
        script += std::string("set ylabel '") + (yn ? "n" : "second argument") + "'\nunset key\nset cblabel 'ulp error'\n";
        script += "set palette defined (0 '#ffffff', 1 '#fde725', 2 '#21918c', 3 '#440154')\n";
        if (logscale) script += "set logscale cb\nset cbrange [0.01:*]\n";
        else script += "set cbrange [0:*]\n";
        script += "set xrange [" + fmt(lo) + ":" + fmt(hi) + "]\n";
        script += yn ? "set yrange [" + std::to_string(n_lo) + "-0.5:" + std::to_string(n_hi) + "+0.5]\n"
                     : "set yrange [" + fmt(ylo) + ":" + fmt(yhi) + "]\n";
        script += logscale ? "plot $d using 1:2:($3 < 0.01 ? 0.01 : $3) with image\n" : "plot $d using 1:2:3 with image\n";
    }
    std::FILE* gp = ::popen("gnuplot 2>&1", "w");
    if (gp == nullptr) return io_error("cannot run gnuplot");
    std::fwrite(script.data(), 1, script.size(), gp);
    const int rc = ::pclose(gp);
    if (rc != 0) {
        if (WIFEXITED(rc) && WEXITSTATUS(rc) == 127)
            return io_error("gnuplot not found (Debian: apt-get install gnuplot-nox; or --data for the numbers)");
        return io_error("gnuplot failed drawing '" + output + "'");
    }
    std::printf("%s: %s, max %s ulp\n", output.c_str(), sample.c_str(), fmt_ulp(worst).c_str());
    return 0;
}

}  // namespace kalmtool
