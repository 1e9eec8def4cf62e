#include "kx_password.h"

#include <gtest/gtest.h>

namespace {

TEST(PasswordTest, HashesAreSaltedAndVerify) {
  const std::optional<std::string> one = kx::hash_password("pa ss");
  const std::optional<std::string> two = kx::hash_password("pa ss");
  ASSERT_TRUE(one && two);
  EXPECT_NE(*one, *two);
  EXPECT_EQ(one->find("pa ss"), std::string::npos);
  EXPECT_TRUE(kx::password_matches("pa ss", *one));
  EXPECT_TRUE(kx::password_matches("pa ss", *two));
  EXPECT_FALSE(kx::password_matches("pa s", *one));
  EXPECT_FALSE(kx::password_matches("", *one));
  EXPECT_FALSE(kx::password_matches("pa ss", ""));
  EXPECT_FALSE(kx::password_matches("pa ss", "*0"));
}

TEST(PasswordTest, EmbeddedNulIsRefused) {
  using namespace std::string_view_literals;
  EXPECT_FALSE(kx::hash_password("ab\0cd"sv));
  const std::optional<std::string> hash = kx::hash_password("ab");
  ASSERT_TRUE(hash);
  EXPECT_FALSE(kx::password_matches("ab\0cd"sv, *hash));
}

}  // namespace
