// A hash set of 32-bit numbers found by a name that each number stands
// for: a stanza's block, an entry's line.  The names are not copied; the
// caller says how to read the name of a number again from the file's text.
// Four bytes a slot, so that indexing a large file costs little beside its
// text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace stz {

class NameIndex {
 public:
  using NameOf = std::function<std::string_view(std::uint32_t)>;

  // Room for `expected` names before the table grows.
  void reserve(std::size_t expected, const NameOf& name_of);
  std::optional<std::uint32_t> find(std::string_view name, const NameOf& name_of) const;
  // Adds the number under its name unless the name is there already: the
  // first occurrence wins.  Returns whether it was added.
  bool insert(std::uint32_t value, const NameOf& name_of);
  std::size_t size() const { return used_; }
  std::size_t memoryUsed() const { return slots_.capacity() * sizeof(std::uint32_t); }

 private:
  static constexpr std::uint32_t kEmpty = UINT32_MAX;

  std::size_t slotOf(std::string_view name, const NameOf& name_of) const;
  void rehash(std::size_t slot_count, const NameOf& name_of);

  std::vector<std::uint32_t> slots_;
  std::size_t used_ = 0;
};

}  // namespace stz
