// SPDX-License-Identifier: MIT
// The vector reader against tests/data/vector_lines.txt (every malformed line
// rejected, every good one read back from its canonical form), and the
// stream-level rules: bare lines, empty input, over-long lines.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <streambuf>

#include "vectors.hpp"

namespace {

std::string unescape(const std::string& s) {
    std::string o;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            o += s[i];
            continue;
        }
        const char c = s[++i];
        if (c == '0') o += '\0';
        else if (c == 't') o += '\t';
        else if (c == 'r') o += '\r';
        else if (c == '\\') o += '\\';
        else if (c == 'x' && i + 2 < s.size()) {
            o += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            ADD_FAILURE() << "unknown escape in " << s;
        }
    }
    return o;
}

TEST(VectorReader, GrammarCases) {
    std::ifstream in(KALM_TEST_DATA "/vector_lines.txt");
    ASSERT_TRUE(in);
    int bad = 0, ok = 0;
    for (std::string raw; std::getline(in, raw);) {
        if (raw.empty() || raw[0] == '#') continue;
        const auto tab = raw.find('\t');
        ASSERT_NE(tab, std::string::npos) << raw;
        const std::string kind = raw.substr(0, tab), line = unescape(raw.substr(tab + 1));
        kalmtool::Vector v;
        std::string error;
        const bool parsed = kalmtool::parse_vector(line, v, error);
        if (kind == "bad") {
            EXPECT_FALSE(parsed) << "accepted: " << raw;
            EXPECT_TRUE(parsed || !error.empty()) << raw;
            ++bad;
        } else if (kind == "blank") {
            EXPECT_TRUE(parsed && v.fn == nullptr) << raw << ": " << error;
        } else {
            ASSERT_EQ(kind, "ok");
            ASSERT_TRUE(parsed && v.fn != nullptr) << raw << ": " << error;
            // The canonical form reads back to the same call and outcome.
            const std::string canon = v.expected ? kalmtool::format_outcome(v, *v.expected) : v.input;
            kalmtool::Vector w;
            ASSERT_TRUE(kalmtool::parse_vector(canon, w, error)) << canon << ": " << error;
            EXPECT_EQ(w.fn, v.fn) << canon;
            EXPECT_EQ(w.words, v.words) << canon;
            EXPECT_EQ(w.expected, v.expected) << canon;
            EXPECT_EQ(w.input, v.input) << canon;
            ++ok;
        }
    }
    EXPECT_GT(bad, 40);
    EXPECT_GT(ok, 10);
}

kalmtool::Tally run(const std::string& text, bool generate, std::string* out = nullptr) {
    std::istringstream in(text);
    std::ostringstream report;
    kalmtool::Tally t;
    kalmtool::process_stream(in, "t", report, t, false, generate);
    if (out) *out = report.str();
    return t;
}

TEST(VectorReader, BareLinesOnlyWhenGenerating) {
    const std::string text = "sqrt 0x4010000000000000 -> 0x4000000000000000 00 -\nsqrt 0x4010000000000000\n";
    const kalmtool::Tally check = run(text, false);
    EXPECT_EQ(check.passed, 1);
    EXPECT_EQ(check.malformed, 1);
    EXPECT_EQ(kalmtool::exit_status(check), 2);
    std::string out;
    const kalmtool::Tally gen = run(text, true, &out);
    EXPECT_EQ(gen.passed, 1);
    EXPECT_EQ(gen.generated, 1);
    EXPECT_EQ(gen.malformed, 0);
    EXPECT_NE(out.find("sqrt 0x4010000000000000 -> 0x4000000000000000 00 -"), std::string::npos) << out;
}

TEST(VectorReader, NothingToCheckIsAnError) {
    EXPECT_EQ(run("", false).malformed, 1);
    EXPECT_EQ(run("# only a comment\n\n", false).malformed, 1);
    EXPECT_EQ(kalmtool::exit_status(run("# only a comment\n", false)), 2);
}

TEST(VectorReader, ExitStatusOrder) {
    kalmtool::Tally t;
    EXPECT_EQ(kalmtool::exit_status(t), 0);
    t.failed = 1;
    EXPECT_EQ(kalmtool::exit_status(t), 1);
    t.malformed = 1;
    EXPECT_EQ(kalmtool::exit_status(t), 2);
    t.unreadable = 1;
    EXPECT_EQ(kalmtool::exit_status(t), 3);
}

// A stream of `n` bytes of 'a' and then a good line, made on the fly.
class LongLine : public std::streambuf {
public:
    explicit LongLine(std::size_t n) : left_(n) { setg(buf_, buf_, buf_); }

protected:
    int_type underflow() override {
        if (left_ > 0) {
            const std::size_t k = std::min(left_, sizeof buf_);
            std::fill(buf_, buf_ + k, 'a');
            left_ -= k;
            setg(buf_, buf_, buf_ + k);
            return traits_type::to_int_type(buf_[0]);
        }
        if (!tail_done_) {
            tail_done_ = true;
            const std::string t = "\nsqrt 0x4010000000000000 -> 0x4000000000000000 00 -\n";
            std::copy(t.begin(), t.end(), buf_);
            setg(buf_, buf_, buf_ + t.size());
            return traits_type::to_int_type(buf_[0]);
        }
        return traits_type::eof();
    }

private:
    char buf_[4096];
    std::size_t left_;
    bool tail_done_ = false;
};

TEST(VectorReader, LongLineDroppedUnbuffered) {
    LongLine sb(10u << 20);
    std::istream in(&sb);
    std::string line;
    EXPECT_EQ(kalmtool::read_line(in, line), kalmtool::LineRead::TooLong);
    EXPECT_LE(line.capacity(), 2 * kalmtool::kMaxLineBytes);  // never grew toward the 10 MB
    EXPECT_EQ(kalmtool::read_line(in, line), kalmtool::LineRead::Line);
    EXPECT_EQ(line, "sqrt 0x4010000000000000 -> 0x4000000000000000 00 -");
    EXPECT_EQ(kalmtool::read_line(in, line), kalmtool::LineRead::End);

    LongLine sb2(10u << 20);
    std::istream in2(&sb2);
    std::ostringstream report;
    kalmtool::Tally t;
    kalmtool::process_stream(in2, "long", report, t);
    EXPECT_EQ(t.malformed, 1) << report.str();
    EXPECT_EQ(t.passed, 1) << report.str();
    // Exactly the limit is still a line.
    std::string edge = "sqrt 0x4010000000000000 -> 0x4000000000000000 00 - #";
    edge.resize(kalmtool::kMaxLineBytes, 'c');
    EXPECT_EQ(run(edge + "\n", false).passed, 1);
    EXPECT_EQ(run(edge + "c\n", false).malformed, 1);
}

}  // namespace
