// Fuzzes the settings reader on any text, with the TOML parser compiled into this target so that
// the fuzzer sees its branches. The text takes the path read_config gives it: at most the size
// limit, valid UTF-8, then the settings rules. Beyond running clean under the sanitizers, a file
// that is accepted must write back to text that reads as the same record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "structs/saved_config.hpp"
#include "structs/utf8.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (text.size() > sparvik::max_config_file_size || !sparvik::is_valid_utf8(text)) return 0;
  const auto config = sparvik::from_toml(text);
  if (!config) return 0;
  const auto written = sparvik::to_toml(*config);
  if (!written) std::abort();  // whatever was read can be written
  const auto back = sparvik::from_toml(*written);
  if (!back || *back != *config) std::abort();
  return 0;
}
