#include "text_buffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace stz {
namespace {

constexpr std::size_t kHugePage = 2 * 1024 * 1024;
constexpr std::size_t kPage = 4096;

std::size_t roundUp(std::size_t size, std::size_t unit) { return (size + unit - 1) / unit * unit; }

// A mapping of `length` bytes that starts on a huge page boundary: one
// huge page more is mapped and the unaligned ends are given back.
char* mapAligned(std::size_t length) {
  void* mapped = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = roundUp(start, kHugePage);
  if (aligned > start) (void)::munmap(mapped, aligned - start);  // giving back cannot fail for our own mapping
  (void)::munmap(reinterpret_cast<void*>(aligned + length), start + kHugePage - aligned);
  // Only a hint: without huge pages the memory works the same.
  (void)::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
  return reinterpret_cast<char*>(aligned);
}

}  // namespace

TextBuffer::TextBuffer(std::size_t capacity) : capacity_(capacity) {
  if (capacity >= kHugePage) {
    mapped_ = roundUp(capacity, kPage);
    data_ = mapAligned(mapped_);
  } else {
    data_ = new char[capacity == 0 ? 1 : capacity];
  }
}

TextBuffer::TextBuffer(std::string_view text) : TextBuffer(text.size()) {
  if (!text.empty()) std::memcpy(data_, text.data(), text.size());
  size_ = text.size();
}

TextBuffer::~TextBuffer() { release(); }

TextBuffer::TextBuffer(TextBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

TextBuffer& TextBuffer::operator=(TextBuffer&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    mapped_ = std::exchange(other.mapped_, 0);
  }
  return *this;
}

void TextBuffer::reserve(std::size_t capacity) {
  if (capacity <= capacity_) return;
  TextBuffer larger(capacity);
  if (size_ > 0) std::memcpy(larger.data_, data_, size_);
  larger.size_ = size_;
  *this = std::move(larger);
}

void TextBuffer::release() {
  if (mapped_ != 0) {
    (void)::munmap(data_, mapped_);  // our own mapping: nothing to report
  } else {
    delete[] data_;
  }
  data_ = nullptr;
}

}  // namespace stz
