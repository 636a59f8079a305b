#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "test_support.hpp"

namespace torvane_test {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = (fs::path(base && *base ? base : "/tmp") / "torvane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    if (::testing::Test::HasFailure()) {
        std::cerr << "test files kept in " << m_path << "\n";
        return;
    }
    std::error_code ignored;
    // Tests may have taken permissions away to provoke failures; give them back first.
    for (auto it = fs::recursive_directory_iterator(m_path, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(m_path, ignored);
}

}  // namespace torvane_test
