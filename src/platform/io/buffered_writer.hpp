// Bytes collected in a block of fixed size in front of a descriptor: the block is written when it
// is full, the rest on flush() or close(). Write failures are values; the destructor drops them.
#pragma once

#include <cstddef>
#include <expected>
#include <memory>
#include <string_view>

#include "platform/io/unique_fd.hpp"
#include "platform/io_error.hpp"

namespace sparvik::io {

class BufferedWriter {
 public:
  BufferedWriter(UniqueFd fd, std::size_t block_size);
  BufferedWriter(BufferedWriter&&) noexcept = default;
  // No move assignment: it would have to write out or drop the bytes the target still holds.
  BufferedWriter& operator=(BufferedWriter&&) = delete;
  // Flushes and closes what close() has not; failures are dropped here, which is why a writer
  // that must know calls close().
  ~BufferedWriter();

  // Appends `bytes`, writing out each block that fills. A block that fails to be written is
  // dropped and the bytes after it are not taken: how much of it reached the file is unknown, so
  // repeating it could put bytes twice.
  std::expected<void, IoError> write(std::string_view bytes);
  // Writes out what the block holds.
  std::expected<void, IoError> flush();
  // Flushes and closes the descriptor; the first failure of the two. Later calls do nothing.
  std::expected<void, IoError> close();

  std::size_t buffered() const noexcept { return used_; }

 private:
  UniqueFd fd_;
  std::unique_ptr<char[]> block_;
  std::size_t block_size_;
  std::size_t used_ = 0;
};

}  // namespace sparvik::io
