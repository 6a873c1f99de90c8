// SPDX-License-Identifier: MIT
// Runs the demo's ARM guest image (route.c built for the device) under an
// adapter and prints the text it wrote, byte for byte:
//   guest_demo [--machine unicorn|dynarmic] IMAGE
#include <cstdio>
#include <cstring>
#include <string>

#include "machine.hpp"

int main(int argc, char** argv) {
    using namespace kalmguest;
    std::string machine = "unicorn", image_path;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--machine") == 0 && i + 1 < argc) machine = argv[++i];
        else image_path = argv[i];
    }
    auto m = machine == "dynarmic" ? make_dynarmic() : machine == "unicorn" ? make_unicorn() : nullptr;
    const auto image = read_image(image_path);
    std::string error;
    if (!m || !image || image->size() < 4 || !m->load(*image, error)) {
        std::fprintf(stderr, "guest_demo: cannot run %s under %s %s\n", image_path.c_str(), machine.c_str(),
                     error.c_str());
        return 2;
    }
    std::uint32_t entry = 0;
    std::memcpy(&entry, image->data(), 4);
    m->set_fp(0, KALM_MASK_ALL);
    if (!m->call(entry, kDataBase, 0, error)) {
        std::fprintf(stderr, "guest_demo: %s\n", error.c_str());
        return 1;
    }
    // The guest wrote a NUL-terminated text at kDataBase.
    std::string text(0x10000, '\0');
    m->read(kDataBase, text.data(), text.size());
    text.resize(std::strlen(text.c_str()));
    std::fwrite(text.data(), 1, text.size(), stdout);
    return m->take_raises().empty() ? 0 : 1;
}
