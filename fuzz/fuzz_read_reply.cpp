// Fuzzes the read-until-prompt loop and its two users, read_port and read_scanraw, over an
// in-memory port: any sequence of read results, any buffer size and cap. Beyond running clean
// under the sanitizers, the reply must be what a plain model of the loop collects from the same
// reads, never longer than the cap, the port must not be read after the reply ended, and the
// scanraw progress must stay within 20 to 99 without going back.
//
// Input: byte 0 mode (0: the loop with a small cap and buffer, 1: read_port, 2: read_scanraw),
// byte 1 cap (mode 0) or low byte of the expected size (mode 2), byte 2 buffer size (mode 0) or
// high byte of the expected size (mode 2), byte 3 how many times the script is played (so that
// a short input can outgrow read_port's cap), then the script: a length byte and that many bytes
// for each read result, the length 0xFF standing for a failed read.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "scan/command_channel.hpp"
#include "scan/prompt_reader.hpp"
#include "scan/scanraw_reader.hpp"
#include "scan/scripted_port.hpp"

namespace {

using sparvik::scan::testing::ScriptedPort;

constexpr std::size_t kHeader = 4;
constexpr std::uint8_t kFailedRead = 0xFF;

std::vector<ScriptedPort::Read> script_of(const std::uint8_t* data, std::size_t size,
                                          unsigned plays) {
  std::vector<ScriptedPort::Read> script;
  for (unsigned play = 0; play < plays; ++play) {
    for (std::size_t at = 0; at < size;) {
      const std::uint8_t length = data[at++];
      if (length == kFailedRead) {
        script.emplace_back(sparvik::IoError::from_errno(5));
        continue;
      }
      const std::size_t n = std::min<std::size_t>(length, size - at);
      // An empty chunk would be a read of nothing, which a port never reports.
      if (n > 0) script.emplace_back(std::vector<std::uint8_t>(data + at, data + at + n));
      at += n;
    }
  }
  return script;
}

struct Model {
  std::vector<std::uint8_t> reply;
  std::size_t reads = 0;
};

// What the loop must collect: each read takes up to `buffer` bytes of the current chunk, the
// prompt counts within one read only, and the reply ends at the prompt, a failure or the cap.
Model model(std::vector<ScriptedPort::Read> script, std::size_t buffer, std::size_t cap) {
  constexpr std::string_view kPrompt = "ch>";
  Model m;
  std::size_t item = 0;
  while (m.reply.size() < cap) {
    ++m.reads;
    if (item == script.size()) break;
    auto* chunk = std::get_if<std::vector<std::uint8_t>>(&script[item]);
    if (chunk == nullptr) break;
    const std::size_t n = std::min(chunk->size(), buffer);
    const std::string_view piece(reinterpret_cast<const char*>(chunk->data()), n);
    const std::size_t at = piece.find(kPrompt);
    const std::size_t keep = std::min(at == std::string_view::npos ? n : at, cap - m.reply.size());
    m.reply.insert(m.reply.end(), chunk->begin(),
                   chunk->begin() + static_cast<std::ptrdiff_t>(keep));
    if (at != std::string_view::npos) break;
    chunk->erase(chunk->begin(), chunk->begin() + static_cast<std::ptrdiff_t>(n));
    if (chunk->empty()) ++item;
  }
  return m;
}

void check(bool holds) {
  if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kHeader) return 0;
  const unsigned mode = data[0] % 3;
  const unsigned plays = 1u + data[3];
  const auto script = script_of(data + kHeader, size - kHeader, plays);
  ScriptedPort port(script);

  if (mode == 0) {
    const std::size_t cap = data[1];
    const std::size_t buffer_size = 1u + data[2] % 64;
    std::vector<std::uint8_t> buffer(buffer_size);
    std::vector<std::size_t> seen;
    const auto reply = sparvik::scan::read_until_prompt(
        port, buffer, cap, [&](std::size_t collected) { seen.push_back(collected); });
    const Model m = model(script, buffer_size, cap);
    check(reply == m.reply);
    check(reply.size() <= cap);
    check(port.reads() == m.reads);
    check(std::ranges::is_sorted(seen));
    check(seen.empty() || seen.back() <= reply.size());
  } else if (mode == 1) {
    const auto reply = sparvik::scan::read_port(port);
    const Model m = model(script, 256, sparvik::scan::kMaxCommandReply);
    check(reply == m.reply);
    check(port.reads() == m.reads);
  } else {
    const std::uint64_t expected = data[1] + 256u * data[2];
    // 0 is no progress value: it shows the reader has not stored yet.
    const sparvik::SharedCell<std::uint64_t> progress(0);
    std::vector<std::uint64_t> stored;
    port.before_read = [&] { stored.push_back(progress.get()); };
    const auto reply = sparvik::scan::read_scanraw(port, expected, progress);
    const Model m = model(script, 64, sparvik::scan::scanraw_reply_cap(expected));
    check(reply == m.reply);
    check(port.reads() == m.reads);
    stored.push_back(progress.get());
    for (std::size_t i = 1; i < stored.size(); ++i) {
      if (stored[i - 1] == 0) continue;
      check(stored[i] >= stored[i - 1] && stored[i] <= 99);
      check(stored[i - 1] >= 20);
    }
  }
  return 0;
}
