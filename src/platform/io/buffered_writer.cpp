#include "platform/io/buffered_writer.hpp"

#include <algorithm>
#include <cassert>

#include "platform/io/descriptor_io.hpp"

namespace sparvik::io {

BufferedWriter::BufferedWriter(UniqueFd fd, std::size_t block_size)
    : fd_(std::move(fd)), block_(std::make_unique<char[]>(block_size)), block_size_(block_size) {
  assert(block_size > 0);
}

BufferedWriter::~BufferedWriter() {
  if (block_) (void)close();  // a moved-from writer has nothing to close
}

std::expected<void, IoError> BufferedWriter::write(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t taken = std::min(block_size_ - used_, bytes.size());
    std::copy_n(bytes.data(), taken, block_.get() + used_);
    used_ += taken;
    bytes.remove_prefix(taken);
    if (used_ == block_size_) {
      if (auto flushed = flush(); !flushed) return flushed;
    }
  }
  return {};
}

std::expected<void, IoError> BufferedWriter::flush() {
  if (used_ == 0 || !fd_.valid()) return {};
  const std::string_view block(block_.get(), used_);
  used_ = 0;
  return write_all(fd_.get(), block);
}

std::expected<void, IoError> BufferedWriter::close() {
  auto flushed = flush();
  auto closed = fd_.close();
  if (!flushed) return flushed;
  return closed;
}

}  // namespace sparvik::io
