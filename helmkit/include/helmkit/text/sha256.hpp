#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace helmkit {

// SHA-256 over pieces of data given one after another.
class Sha256 {
public:
    Sha256();
    // Adds `data` to what is hashed.
    void update(std::string_view data);
    // Returns the digest of everything added, as 64 lower-case hex digits; the object is then
    // spent.
    std::string hex_digest();

private:
    void block(const unsigned char* data);

    std::array<std::uint32_t, 8> m_state;
    std::array<unsigned char, 64> m_buffer{};
    std::size_t m_buffered = 0;
    std::uint64_t m_length = 0;
};

// Returns the SHA-256 digest of `data` as 64 lower-case hex digits.
std::string sha256_hex(std::string_view data);

}  // namespace helmkit
