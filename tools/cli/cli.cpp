// SPDX-License-Identifier: MIT
// Command-line helpers shared by the commands.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "commands.hpp"

namespace kalmtool {

int bad_input(const std::string& msg) {
    std::fprintf(stderr, "kalm: %s\n", msg.c_str());
    return 2;
}

int io_error(const std::string& msg) {
    std::fprintf(stderr, "kalm: %s\n", msg.c_str());
    return 3;
}

bool select_functions(const std::vector<std::string>& names, std::vector<const Function*>& out, std::string& error) {
    out.clear();
    if (names.empty()) {
        for (const auto& f : catalogue()) out.push_back(&f);
        return true;
    }
    for (const auto& n : names) {
        const Function* f = find_function(n, error);
        if (f == nullptr) return false;
        bool dup = false;
        for (auto* g : out) dup = dup || g == f;
        if (!dup) out.push_back(f);
    }
    return true;
}

std::string fmt_ulp(double u) {
    char buf[32];
    if (std::isinf(u)) return "inf";
    if (u < 10) std::snprintf(buf, sizeof buf, "%.3f", u);
    else if (u < 1e6) std::snprintf(buf, sizeof buf, "%.1f", u);
    else std::snprintf(buf, sizeof buf, "%.2e", u);
    return buf;
}

bool stderr_is_tty() { return isatty(STDERR_FILENO) != 0; }

// ---- AtomicFile -----------------------------------------------------------

AtomicFile::~AtomicFile() {
    if (f_ != nullptr) std::fclose(f_);
    if (!tmp_.empty()) ::unlink(tmp_.c_str());
}

bool AtomicFile::open(const std::string& path, std::string& error) {
    struct stat st {};
    if (path.empty()) {
        error = "empty --csv path";
        return false;
    }
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        error = "cannot write CSV '" + path + "': it is a directory";
        return false;
    }
    const auto slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string templ = dir + "." + base + ".tmpXXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    const int fd = ::mkstemp(buf.data());
    if (fd < 0) {
        error = "cannot write CSV '" + path + "': " + std::strerror(errno);
        return false;
    }
    ::fchmod(fd, 0644);
    tmp_ = buf.data();
    f_ = ::fdopen(fd, "w");
    if (f_ == nullptr) {
        ::close(fd);
        error = "cannot write CSV '" + path + "': " + std::strerror(errno);
        return false;
    }
    path_ = path;
    return true;
}

bool AtomicFile::commit(std::string& error) {
    if (f_ == nullptr) return true;
    const bool write_ok = std::ferror(f_) == 0;
    const bool close_ok = std::fclose(f_) == 0;
    f_ = nullptr;
    if (!write_ok || !close_ok) {
        error = "cannot write CSV '" + path_ + "': write failed";
        return false;
    }
    if (::rename(tmp_.c_str(), path_.c_str()) != 0) {
        error = "cannot write CSV '" + path_ + "': " + std::strerror(errno);
        return false;
    }
    tmp_.clear();
    return true;
}

// ---- SIGINT ---------------------------------------------------------------

std::atomic<bool> g_interrupted{false};

namespace {
struct sigaction g_saved_action;
extern "C" void on_sigint(int) { g_interrupted.store(true); }
}  // namespace

InterruptGuard::InterruptGuard() {
    g_interrupted.store(false);
    struct sigaction sa {};
    sa.sa_handler = on_sigint;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    sigaction(SIGINT, &sa, &g_saved_action);
}

InterruptGuard::~InterruptGuard() { sigaction(SIGINT, &g_saved_action, nullptr); }

// ---- Progress -------------------------------------------------------------

namespace {
std::string fmt_time(double s) {
    char buf[32];
    if (!(s >= 0) || s > 1e7) return "?";
    const long t = std::lround(s);
    if (t >= 3600) std::snprintf(buf, sizeof buf, "%ldh%02ldm", t / 3600, t / 60 % 60);
    else if (t >= 60) std::snprintf(buf, sizeof buf, "%ldm%02lds", t / 60, t % 60);
    else std::snprintf(buf, sizeof buf, "%lds", t);
    return buf;
}
}  // namespace

void draw_progress(const std::string& what, double share, double elapsed_s) {
    constexpr int width = 30;
    if (share < 0) share = 0;
    if (share > 1) share = 1;
    const int full = static_cast<int>(share * width);
    std::string bar(static_cast<std::size_t>(full), '#');
    bar.append(static_cast<std::size_t>(width - full), '.');
    const std::string eta = share > 0 && elapsed_s >= 1 ? fmt_time(elapsed_s * (1 - share) / share) : "?";
    std::fprintf(stderr, "\r\033[K[%s] %5.1f%%  %s elapsed, ETA %s  %s", bar.c_str(), share * 100,
                 fmt_time(elapsed_s).c_str(), eta.c_str(), what.c_str());
    std::fflush(stderr);
}

void clear_progress() {
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
}

}  // namespace kalmtool
