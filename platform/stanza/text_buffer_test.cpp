#include "text_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

namespace stz {
namespace {

TEST(StzTextBuffer, HoldsTheTextItWasGiven) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{10}, std::size_t{3 * 1024 * 1024 + 5}}) {
    std::string text(size, 'x');
    for (std::size_t i = 0; i < size; i += 4096) text[i] = static_cast<char>('a' + i % 26);
    TextBuffer buffer(text);
    EXPECT_EQ(buffer.view(), text);
    TextBuffer moved = std::move(buffer);
    EXPECT_EQ(moved.view(), text);
    EXPECT_EQ(buffer.size(), 0u);
  }
}

TEST(StzTextBuffer, ReserveKeepsTheTextAndResizeStaysWithinTheRoom) {
  TextBuffer buffer(4);
  std::memcpy(buffer.data(), "abcd", 4);
  buffer.resize(9);
  EXPECT_EQ(buffer.size(), 4u);
  buffer.reserve(3 * 1024 * 1024);
  EXPECT_EQ(buffer.view(), "abcd");
  std::memcpy(buffer.data() + 4, "ef", 2);
  buffer.resize(6);
  EXPECT_EQ(buffer.view(), "abcdef");
  EXPECT_GE(buffer.capacity(), 3u * 1024 * 1024);
}

}  // namespace
}  // namespace stz
