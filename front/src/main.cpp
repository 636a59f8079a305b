#include "torvane/front.hpp"

int main(int argc, char** argv) {
    return torvane::front::run(argc, argv, torvane::front::builtin_commands());
}
