#include <gtest/gtest.h>

#include "tools/orvel-fwtool/sha256.h"

using namespace orv;

// The standard's own examples, and messages that end at and around the padding's block boundary.
TEST(Sha256, KnownDigests)
{
  const auto digest = [](const std::string& text_I) { return Sha256Hex(std::vector<uint8_t>(text_I.begin(), text_I.end())); };
  EXPECT_EQ(digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(digest(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}
