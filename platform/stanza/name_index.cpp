#include "name_index.h"

#include <bit>

namespace stz {
namespace {

constexpr std::size_t kMinSlots = 8;

std::size_t hashOf(std::string_view name) { return std::hash<std::string_view>{}(name); }

// At most half the slots are used, so a probe ends soon.
std::size_t slotsFor(std::size_t names) { return std::bit_ceil(std::max(kMinSlots, names * 2)); }

}  // namespace

void NameIndex::reserve(std::size_t expected, const NameOf& name_of) {
  if (slotsFor(expected) > slots_.size()) rehash(slotsFor(expected), name_of);
}

// The slot that holds the name, or the empty slot where it would go.
std::size_t NameIndex::slotOf(std::string_view name, const NameOf& name_of) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = hashOf(name) & mask;; slot = (slot + 1) & mask) {
    if (slots_[slot] == kEmpty || name_of(slots_[slot]) == name) return slot;
  }
}

std::optional<std::uint32_t> NameIndex::find(std::string_view name, const NameOf& name_of) const {
  if (slots_.empty()) return std::nullopt;
  const std::uint32_t value = slots_[slotOf(name, name_of)];
  if (value == kEmpty) return std::nullopt;
  return value;
}

bool NameIndex::insert(std::uint32_t value, const NameOf& name_of) {
  if (slotsFor(used_ + 1) > slots_.size()) rehash(slotsFor(used_ + 1), name_of);
  const std::size_t slot = slotOf(name_of(value), name_of);
  if (slots_[slot] != kEmpty) return false;
  slots_[slot] = value;
  ++used_;
  return true;
}

void NameIndex::rehash(std::size_t slot_count, const NameOf& name_of) {
  std::vector<std::uint32_t> old(slot_count, kEmpty);
  old.swap(slots_);
  for (const std::uint32_t value : old) {
    if (value != kEmpty) slots_[slotOf(name_of(value), name_of)] = value;
  }
}

}  // namespace stz
