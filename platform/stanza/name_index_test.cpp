#include "name_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace stz {
namespace {

class StzNameIndex : public ::testing::Test {
 protected:
  // Numbers stand for the names at that place, as lines stand for theirs.
  std::vector<std::string> names_;
  NameIndex::NameOf name_of_ = [this](std::uint32_t at) { return std::string_view(names_[at]); };

  std::uint32_t add(const std::string& name) {
    names_.push_back(name);
    return static_cast<std::uint32_t>(names_.size() - 1);
  }
};

TEST_F(StzNameIndex, FirstOccurrenceWinsAndOthersAreNotFound) {
  NameIndex index;
  EXPECT_FALSE(index.find("a", name_of_));
  EXPECT_TRUE(index.insert(add("a"), name_of_));
  EXPECT_TRUE(index.insert(add("b"), name_of_));
  EXPECT_FALSE(index.insert(add("a"), name_of_));
  EXPECT_EQ(index.find("a", name_of_), 0u);
  EXPECT_EQ(index.find("b", name_of_), 1u);
  EXPECT_FALSE(index.find("c", name_of_));
  EXPECT_FALSE(index.find("", name_of_));
  EXPECT_EQ(index.size(), 2u);
}

TEST_F(StzNameIndex, GrowsAndKeepsEveryName) {
  NameIndex index;
  for (int i = 0; i < 5000; ++i) ASSERT_TRUE(index.insert(add("name-" + std::to_string(i)), name_of_));
  for (int i = 0; i < 5000; ++i) EXPECT_EQ(index.find("name-" + std::to_string(i), name_of_), static_cast<std::uint32_t>(i));
  // Four bytes a slot, at most half of them empty beyond a factor of two.
  EXPECT_LE(index.memoryUsed(), 5000u * 4 * 4);
  NameIndex reserved;
  reserved.reserve(5000, name_of_);
  const std::size_t before = reserved.memoryUsed();
  for (std::uint32_t i = 0; i < 5000; ++i) ASSERT_TRUE(reserved.insert(i, name_of_));
  EXPECT_EQ(reserved.memoryUsed(), before);
}

}  // namespace
}  // namespace stz
