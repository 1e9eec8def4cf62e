#include "text_buffer.h"

#include <cstring>
#include <utility>

namespace stz {

// new char[n] leaves the bytes as they are: the read fills them.
TextBuffer::TextBuffer(std::size_t capacity) : data_(new char[capacity == 0 ? 1 : capacity]), capacity_(capacity) {}

TextBuffer::TextBuffer(std::string_view text) : TextBuffer(text.size()) {
  if (!text.empty()) std::memcpy(data_.get(), text.data(), text.size());
  size_ = text.size();
}

TextBuffer::TextBuffer(TextBuffer&& other) noexcept
    : data_(std::move(other.data_)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

TextBuffer& TextBuffer::operator=(TextBuffer&& other) noexcept {
  data_ = std::move(other.data_);
  size_ = std::exchange(other.size_, 0);
  capacity_ = std::exchange(other.capacity_, 0);
  return *this;
}

void TextBuffer::reserve(std::size_t capacity) {
  if (capacity <= capacity_) return;
  TextBuffer larger(capacity);
  if (size_ > 0) std::memcpy(larger.data(), data(), size_);
  larger.size_ = size_;
  *this = std::move(larger);
}

}  // namespace stz
