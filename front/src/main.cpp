#include "helmkit/base/process_setup.hpp"
#include "torvane/front.hpp"

int main(int argc, char** argv) {
    helmkit::setup_process();
    return torvane::front::run(argc, argv, torvane::front::builtin_commands());
}
