#pragma once

// Helpers of the packaging tests: where this build keeps what it installs, and running
// programs the way a user of the installed files would.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf_builder.hpp"
#include "test_support.hpp"

namespace packaging_test {

using namespace torvane_test;

inline const fs::path k_build_dir = TORVANE_BUILD_DIR;
inline const fs::path k_man_page = TORVANE_MAN_PAGE;
inline const fs::path k_completion = TORVANE_COMPLETION;
inline const std::string k_version = TORVANE_PROJECT_VERSION;
inline const std::string k_libdir = TORVANE_INSTALL_LIBDIR;

// The environment of a user's shell: no library path of the build.
inline const std::map<std::string, std::string> k_plain_env{{"LD_LIBRARY_PATH", ""}};

// `text` with every run of white space made one blank, to find phrases that groff broke or
// spread over several lines.
inline std::string squeezed(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const bool blank = c == ' ' || c == '\n' || c == '\t';
        if (blank && (out.empty() || out.back() == ' ')) continue;
        out += blank ? ' ' : c;
    }
    return out;
}

// Installs this build into `prefix` with cmake --install.
inline void install_into(const fs::path& prefix) {
    const auto result = run_program(TORVANE_CMAKE,
                                    {"--install", k_build_dir.string(), "--prefix", prefix.string()},
                                    k_build_dir);
    ASSERT_EQ(result.status, 0) << result.out << result.err;
}

// Merges a one-page PDF with the torvane at `program`, run in `dir` without the build's
// library path: a tool library and the libraries it links (qpdf) must be found.
inline RunResult merge_one_pdf(const fs::path& program, const TempDir& dir) {
    PdfDocument document;
    PdfPage page;
    page.content = text_operators("installed", 60, 300, 60);
    document.pages.push_back(page);
    write_file(dir / "in" / "one.pdf", build_pdf(document));
    write_file(dir / "merge.json",
               R"({"config": {"input_folder": "in", "output_file": "out/merged.pdf"}})");
    return run_program(program, {"gridpage", "-c", "merge.json"}, dir.path(), k_plain_env);
}

// Runs the torvane at `program` from a folder of its own without the build's library path:
// it prints its version and merges a PDF there.
inline void expect_runs_from_anywhere(const fs::path& program) {
    TempDir elsewhere;
    const auto version = run_program(program, {"--version"}, elsewhere.path(), k_plain_env);
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out, "torvane " + k_version + "\n");
    const auto merged = merge_one_pdf(program, elsewhere);
    EXPECT_EQ(merged.status, 0) << merged.err;
    EXPECT_EQ(merged.out, "Success: out/merged.pdf\n") << merged.err;
    EXPECT_TRUE(fs::exists(elsewhere / "out" / "merged.pdf"));
}

// The dynamic section line of an ELF file that holds its run path, empty when it has none.
inline std::string run_path_of(const fs::path& elf) {
    const auto result = run_program("/usr/bin/readelf", {"-d", elf.string()}, elf.parent_path());
    EXPECT_EQ(result.status, 0) << result.err;
    for (const auto& line : lines_of(result.out)) {
        if (line.find("(RUNPATH)") != std::string::npos || line.find("(RPATH)") != std::string::npos) {
            return line.substr(line.find('['));
        }
    }
    return {};
}

}  // namespace packaging_test
