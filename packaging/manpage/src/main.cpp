// Writes the manual page torvane(1) from the commands of this build and the README.
#include <iostream>

#include "helmkit/files/atomic_file.hpp"
#include "helmkit/files/file_mg.hpp"
#include "manpage/man_page.hpp"
#include "torvane/front.hpp"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "Usage: torvane_manpage README.md OUTPUT VERSION\n";
        return 2;
    }
    try {
        const auto readme = helmkit::fileMg::read_text_file(argv[1]);
        helmkit::write_file_atomically(
            argv[2], torvane::manpage::man_page(torvane::front::builtin_commands(), readme, argv[3]));
    } catch (const std::exception& error) {
        std::cerr << "torvane_manpage: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
