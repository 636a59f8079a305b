#include "torvane/tool_library.hpp"

#include <dlfcn.h>
#include <link.h>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <vector>

#include "helmkit/base/error.hpp"

namespace torvane::front {

namespace {

// The folders the loader searches for this program's libraries, its run path among them, in
// the loader's order. dlopen itself cannot be trusted to use the program's run path: it
// searches that of its caller, and a sanitizer runtime that wraps dlopen becomes the caller.
std::vector<std::filesystem::path> program_search_path() {
    void* program = dlopen(nullptr, RTLD_LAZY);
    Dl_serinfo size{};
    if (program == nullptr || dlinfo(program, RTLD_DI_SERINFOSIZE, &size) != 0) return {};
    const std::size_t units = size.dls_size / sizeof(std::max_align_t) + 1;
    const auto buffer = std::make_unique<std::max_align_t[]>(units);
    auto* info = reinterpret_cast<Dl_serinfo*>(buffer.get());
    *info = size;
    if (dlinfo(program, RTLD_DI_SERINFO, info) != 0) return {};
    std::vector<std::filesystem::path> folders;
    for (unsigned i = 0; i < info->dls_cnt; ++i) folders.emplace_back(info->dls_serpath[i].dls_name);
    return folders;
}

// `library` in the first folder of the program's search path that holds it; the bare name
// when none does, so that the loader's own message names what is missing.
std::string locate(const std::string& library) {
    for (const auto& folder : program_search_path()) {
        std::error_code error;
        const auto candidate = folder / library;
        if (std::filesystem::is_regular_file(candidate, error)) return candidate.string();
    }
    return library;
}

}  // namespace

Worker open_worker(const std::string& library, const std::string& symbol) {
    // Never closed: the command runs until the process ends. RTLD_NOW reports a library that
    // lacks one of its own dependencies here, not halfway through a run.
    void* handle = dlopen(locate(library).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        throw helmkit::Error("cannot load the command's library: " + std::string(dlerror()));
    }
    void* found = dlsym(handle, symbol.c_str());
    if (found == nullptr) {
        throw helmkit::Error("the library '" + library + "' has no command function '" + symbol +
                             "'");
    }
    return reinterpret_cast<Worker>(found);
}

}  // namespace torvane::front
