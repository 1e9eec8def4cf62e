// The memory that holds a file's text for the whole run: sized once to the
// file and filled by the read itself, never cleared first nor grown by
// doubling, so that a large file costs its size once and is touched once.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace stz {

class TextBuffer {
 public:
  TextBuffer() = default;
  // Room for `capacity` bytes, not cleared; size() is 0.
  explicit TextBuffer(std::size_t capacity);
  explicit TextBuffer(std::string_view text);
  // A buffer moved from is empty.
  TextBuffer(TextBuffer&& other) noexcept;
  TextBuffer& operator=(TextBuffer&& other) noexcept;

  char* data() { return data_.get(); }
  const char* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  std::string_view view() const { return {data_.get(), size_}; }
  // Within the capacity; bytes added are not cleared.
  void resize(std::size_t size) { size_ = size < capacity_ ? size : capacity_; }
  // Room for at least `capacity` bytes, the text kept.
  void reserve(std::size_t capacity);

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace stz
