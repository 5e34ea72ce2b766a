// Fuzzes the one reply read loop and its two users, read_port and read_scanraw, over an
// in-memory port: any sequence of read results, any buffer size, cap and start marker. Beyond
// running clean under the sanitizers, the reply must be what a plain model of the reads gives,
// never longer than the cap, the port must not be read after the reply ended, and the scanraw
// progress must stay within 20 to 99 without going back.
//
// Input: byte 0 mode (0: the loop with a small cap and buffer, 1: read_port, 2: read_scanraw of
// the command "s"), byte 1 cap (mode 0) or low byte of the expected size (mode 2), byte 2 buffer
// size (mode 0) or high byte of the expected size (mode 2), byte 3 how many times the script is
// played (so that a short input can outgrow the caps), byte 4 the marker's length (mode 0, up to
// 3) and byte 5 how many bytes may be passed over before it (mode 0); then the marker's bytes,
// then the script: a length byte and that many bytes for each read result, the length 0xFF
// standing for a failed read.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "scan/command_channel.hpp"
#include "scan/prompt_reader.hpp"
#include "scan/scanraw_reader.hpp"
#include "scan/scripted_port.hpp"

namespace {

using sparvik::scan::testing::ScriptedPort;

constexpr std::size_t kHeader = 6;
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

// What the loop must collect, worked out from the whole stream rather than read by read. Each
// read takes up to `buffer` bytes of the current chunk. The reply begins at the first whole
// marker in the stream, unless more than `max_dropped` bytes that cannot begin it were read
// first; it ends at the first prompt wholly within one read and after the marker, at a failed
// read, or at the cap.
Model model(std::vector<ScriptedPort::Read> script, std::size_t buffer, std::size_t cap,
            std::string_view marker = {}, std::size_t max_dropped = 0) {
  constexpr std::string_view kPrompt = "ch>";
  // Every read the port would give, and where each begins in the stream.
  std::vector<std::string> reads;
  std::vector<std::size_t> begins;
  std::string stream;
  for (auto& item : script) {
    auto* chunk = std::get_if<std::vector<std::uint8_t>>(&item);
    if (chunk == nullptr) break;
    for (std::size_t at = 0; at < chunk->size(); at += buffer) {
      begins.push_back(stream.size());
      reads.emplace_back(reinterpret_cast<const char*>(chunk->data()) + at,
                         std::min(buffer, chunk->size() - at));
      stream += reads.back();
    }
  }
  const std::size_t held = marker.empty() ? 0 : marker.size() - 1;
  Model m;
  // The read in which the marker ends, and where the reply begins.
  std::size_t first = 0, begin = 0;
  if (!marker.empty()) {
    const std::size_t at = stream.find(marker);
    for (std::size_t r = 0;; ++r) {
      ++m.reads;
      if (r == reads.size()) return m;  // the failed read after the script
      const std::size_t read_end = begins[r] + reads[r].size();
      if (at != std::string::npos && at + marker.size() <= read_end) {
        first = r;
        begin = at;
        break;
      }
      if (read_end - std::min(read_end, held) > max_dropped) return m;
    }
  } else if (cap == 0) {
    return m;
  }
  std::size_t end = std::string::npos;
  for (std::size_t r = first; r < reads.size(); ++r) {
    if (r > first || marker.empty()) ++m.reads;
    const std::size_t from = r == first ? begin + marker.size() - begins[r] : 0;
    const std::size_t prompt = std::string_view(reads[r]).substr(from).find(kPrompt);
    if (prompt != std::string_view::npos) {
      end = begins[r] + from + prompt;
      break;
    }
    if (begins[r] + reads[r].size() - begin >= cap) {
      end = begins[r] + reads[r].size();
      break;
    }
  }
  if (end == std::string::npos) {
    ++m.reads;  // the failed read after the script
    end = stream.size();
  }
  const std::size_t length = std::min(end - begin, cap);
  m.reply.assign(stream.begin() + static_cast<std::ptrdiff_t>(begin),
                 stream.begin() + static_cast<std::ptrdiff_t>(begin + length));
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
  const std::size_t marker_size =
      mode == 0 ? std::min<std::size_t>(data[4] % 4, size - kHeader) : 0;
  const std::string_view marker(reinterpret_cast<const char*>(data + kHeader), marker_size);
  const std::size_t script_at = kHeader + marker_size;
  const auto script = script_of(data + script_at, size - script_at, plays);
  ScriptedPort port(script);

  if (mode == 0) {
    const std::size_t cap = data[1];
    const std::size_t buffer_size = 1u + data[2] % 64;
    const std::size_t max_dropped = data[5];
    std::vector<std::uint8_t> buffer(buffer_size);
    std::vector<std::size_t> seen;
    const sparvik::scan::ReplyStart start{
        std::span(reinterpret_cast<const std::uint8_t*>(marker.data()), marker.size()),
        max_dropped};
    const auto reply = sparvik::scan::read_reply(
        port, buffer, cap, std::chrono::seconds(3),
        [&](std::size_t collected) { seen.push_back(collected); }, start);
    const Model m = model(script, buffer_size, cap, marker, max_dropped);
    check(reply.bytes == m.reply);
    check(reply.bytes.size() <= cap);
    check(port.reads() == m.reads);
    check(std::ranges::is_sorted(seen));
    check(seen.empty() || seen.back() <= reply.bytes.size());
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
    const auto reply = sparvik::scan::read_scanraw(port, {"s\r", expected}, progress);
    const Model m = model(script, 64, sparvik::scan::scanraw_reply_cap(expected), "s\r\n",
                          sparvik::scan::kMaxCommandReply);
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
