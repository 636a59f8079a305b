#include <gtest/gtest.h>

#include <string>

#include "helmkit/text/sha256.hpp"

// Digests published with the algorithm, and the same data given in pieces that cut blocks.
TEST(Sha256, KnownDigestsWholeAndInPieces) {
    EXPECT_EQ(helmkit::sha256_hex(""),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(helmkit::sha256_hex("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string two_blocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(helmkit::sha256_hex(two_blocks),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    const std::string million(1000000, 'a');
    helmkit::Sha256 pieces;
    for (std::size_t at = 0; at < million.size(); at += 997) {
        pieces.update(std::string_view(million).substr(at, 997));
    }
    EXPECT_EQ(pieces.hex_digest(),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}
