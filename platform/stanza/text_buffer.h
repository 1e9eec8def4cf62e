// The memory that holds a file's text for the whole run.  A large text gets
// memory of its own, aligned for huge pages: filling fresh memory costs a
// page fault every 4 KB otherwise, more than reading the file itself, and a
// process that holds it forks its children more slowly.
#pragma once

#include <cstddef>
#include <string_view>

namespace stz {

class TextBuffer {
 public:
  TextBuffer() = default;
  // Room for `capacity` bytes, not cleared; size() is 0.
  explicit TextBuffer(std::size_t capacity);
  explicit TextBuffer(std::string_view text);
  ~TextBuffer();
  TextBuffer(TextBuffer&& other) noexcept;
  TextBuffer& operator=(TextBuffer&& other) noexcept;
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;

  char* data() { return data_; }
  const char* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  std::string_view view() const { return {data_, size_}; }
  // Within the capacity; bytes added are not cleared.
  void resize(std::size_t size) { size_ = size < capacity_ ? size : capacity_; }
  // Room for at least `capacity` bytes, the text kept.
  void reserve(std::size_t capacity);

 private:
  void release();

  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  std::size_t mapped_ = 0;  // length of our own mapping; 0 for heap memory
};

}  // namespace stz
