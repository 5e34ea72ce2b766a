// The saved settings: the TOML text written, the rules a file is read by, and how each failure of
// reading and writing "config.toml" is reported.
#include "structs/saved_config.hpp"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/file_size_limit.hpp"
#include "support/temp_dir.hpp"

namespace sparvik {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

constexpr std::uint64_t largest_toml_integer = 9223372036854775807u;

SavedConfig com3() {
  return {"COM3", 115200, 240, 960, 10001, 1};
}

// The error number an error carries, or -1 when it carries no input/output error.
template <class Error>
int error_number(const Error& error) {
  const auto* io = error.template payload<IoError>();
  return io != nullptr ? io->code : -1;
}

const char* const com3_text =
    "port = \"COM3\"\nbaudrate = 115200\nstart_frequency = 240\nstop_frequency = 960\n"
    "points = 10001\nrepeat = 1\n";

TEST(SavedConfigText, WritesTheSixLines) {
  const auto text = to_toml(com3());
  ASSERT_TRUE(text) << text.error().message;
  EXPECT_EQ(*text, com3_text);
}

TEST(SavedConfigText, ReadsBackWhatItWrites) {
  const SavedConfig cases[] = {
      com3(),
      {"", 0, 0, 0, 0, 0},
      {"/dev/ttyACM0", 4294967295u, largest_toml_integer, largest_toml_integer,
       largest_toml_integer, largest_toml_integer},
      {R"(a "quoted" \ name)", 9600, 1, 2, 3, 4},
      {"ctl\t\n\r\b\f\x01\x1f\x7f\0end"s, 19200, 5, 6, 7, 8},
      {"p\xc3\xb8rt \xe2\x82\xac \xf0\x9f\x93\xa1", 3000000, 100000, 100, 0, 1000},
  };
  for (const auto& config : cases) {
    SCOPED_TRACE(config.port);
    const auto text = to_toml(config);
    ASSERT_TRUE(text) << text.error().message;
    const auto back = from_toml(*text);
    ASSERT_TRUE(back) << back.error().message << "\n" << *text;
    EXPECT_EQ(*back, config);
  }
}

TEST(SavedConfigText, RefusesWhatTomlCannotHold) {
  const auto too_big = largest_toml_integer + 1;
  const struct {
    SavedConfig config;
    const char* key;
  } cases[] = {
      {{"COM3", 115200, too_big, 960, 10001, 1}, "start_frequency"},
      {{"COM3", 115200, 240, too_big, 10001, 1}, "stop_frequency"},
      {{"COM3", 115200, 240, 960, too_big, 1}, "points"},
      {{"COM3", 115200, 240, 960, 10001, std::numeric_limits<std::uint64_t>::max()}, "repeat"},
      {{"COM\xff", 115200, 240, 960, 10001, 1}, "port"},
  };
  for (const auto& c : cases) {
    const auto text = to_toml(c.config);
    ASSERT_FALSE(text) << c.key;
    EXPECT_NE(text.error().message.find(std::string("`") + c.key + "`"), std::string::npos)
        << text.error().message;
  }
}

TEST(SavedConfigText, AcceptsAnyLayoutOfTheSixKeys) {
  const struct {
    const char* name;
    std::string text;
    SavedConfig expected;
  } cases[] = {
      {"reordered, commented, extra keys",
       "# last sweep\nrepeat = 1\n\npoints = 10001 # many\nstop_frequency = 960\n"
       "start_frequency = 240\nbaudrate = 115200\nport = \"COM3\"\nextra = [1, 2]\n"
       "[sub]\nport = 5\n",
       com3()},
      {"quoted keys and literal string",
       "\"port\" = 'COM3'\n'baudrate' = 115200\nstart_frequency = 240\nstop_frequency = 960\n"
       "points = 10_001\nrepeat = 1\n",
       com3()},
      {"byte-order mark", std::string("\xEF\xBB\xBF") + com3_text, com3()},
      {"non-ASCII text after a line-ending backslash",
       std::string("note = \"\"\"a\\\n   \xe2\x82\xac\"\"\"\n") + com3_text, com3()},
      {"CRLF line ends",
       "port = \"COM3\"\r\nbaudrate = 115200\r\nstart_frequency = 240\r\nstop_frequency = 960\r\n"
       "points = 10001\r\nrepeat = 1\r\n",
       com3()},
      {"any baud rate, zero points, stop above the screens",
       "port = \"\"\nbaudrate = 12345\nstart_frequency = 960\nstop_frequency = 100000\n"
       "points = 0\nrepeat = 0\n",
       {"", 12345, 960, 100000, 0, 0}},
      {"largest values",
       "port = \"x\"\nbaudrate = 4294967295\nstart_frequency = 9223372036854775807\n"
       "stop_frequency = 0x7FFFFFFFFFFFFFFF\npoints = 1\nrepeat = 2\n",
       {"x", 4294967295u, largest_toml_integer, largest_toml_integer, 1, 2}},
      {"mixed-case extra key beside the real one",
       "Port = \"other\"\nport = \"COM3\"\nbaudrate = 115200\nstart_frequency = 240\n"
       "stop_frequency = 960\npoints = 10001\nrepeat = 1\n",
       com3()},
  };
  for (const auto& c : cases) {
    const auto config = from_toml(c.text);
    ASSERT_TRUE(config) << c.name << ": " << config.error().message;
    EXPECT_EQ(*config, c.expected) << c.name;
  }
}

// The six valid lines with one of them replaced (or dropped, when `line` is empty).
std::string with_line(std::string_view key, std::string_view line) {
  std::string out;
  const std::pair<std::string_view, std::string_view> lines[] = {
      {"port", "port = \"COM3\""},
      {"baudrate", "baudrate = 115200"},
      {"start_frequency", "start_frequency = 240"},
      {"stop_frequency", "stop_frequency = 960"},
      {"points", "points = 10001"},
      {"repeat", "repeat = 1"},
  };
  for (const auto& [k, l] : lines) {
    const std::string_view chosen = k == key ? line : l;
    if (chosen.empty()) continue;
    out += chosen;
    out += '\n';
  }
  return out;
}

TEST(SavedConfigText, RejectsEveryRuleBreak) {
  const struct {
    const char* name;
    std::string text;
    std::vector<std::string> message_parts;
  } cases[] = {
      {"empty file", "", {"missing field `port`"}},
      {"no repeat", with_line("repeat", ""), {"missing field `repeat`"}},
      {"no port and no repeat",
       "baudrate = 115200\nstart_frequency = 240\n"
       "stop_frequency = 960\npoints = 10001\n",
       {"missing field `port`"}},
      {"port in another case", with_line("port", "Port = \"COM3\""), {"missing field `port`"}},
      {"port inside a table only",
       "[settings]\n" + std::string(com3_text),
       {"missing field `port`"}},
      {"negative baud rate",
       with_line("baudrate", "baudrate = -1"),
       {"invalid value", "integer `-1`", "`baudrate`", "line 2"}},
      {"baud rate past 32 bits",
       with_line("baudrate", "baudrate = 4294967296"),
       {"invalid value", "`baudrate`"}},
      {"negative points",
       with_line("points", "points = -5"),
       {"invalid value", "integer `-5`", "`points`"}},
      {"fractional points",
       with_line("points", "points = 10.5"),
       {"invalid type", "floating point `10.5`", "`points`"}},
      {"whole float",
       with_line("start_frequency", "start_frequency = 240.0"),
       {"invalid type", "floating point `240.0`", "`start_frequency`"}},
      {"frequency as text",
       with_line("start_frequency", "start_frequency = \"240\""),
       {"invalid type", "string \"240\"", "`start_frequency`"}},
      {"float baud rate",
       with_line("baudrate", "baudrate = 115200.0"),
       {"invalid type", "`baudrate`"}},
      {"boolean", with_line("repeat", "repeat = true"), {"invalid type", "boolean", "`repeat`"}},
      {"date",
       with_line("stop_frequency", "stop_frequency = 2024-01-01"),
       {"invalid type", "date", "`stop_frequency`"}},
      {"date-time",
       with_line("stop_frequency", "stop_frequency = 2024-01-01T10:00:00Z"),
       {"invalid type", "datetime", "`stop_frequency`"}},
      {"array", with_line("points", "points = [1]"), {"invalid type", "array", "`points`"}},
      {"inline table",
       with_line("points", "points = { n = 1 }"),
       {"invalid type", "table", "`points`"}},
      {"port as a number",
       with_line("port", "port = 3"),
       {"invalid type", "expected a string", "`port`"}},
      {"port as a dotted table",
       with_line("port", "port.name = \"COM3\""),
       {"invalid type", "table", "`port`"}},
      {"duplicate key", std::string(com3_text) + "points = 11\n", {"line 7"}},
      {"integer past 64 bits", with_line("points", "points = 9223372036854775808"), {"line 5"}},
      {"syntax error", with_line("points", "points = "), {"line 5"}},
      {"wrong value wins over a missing key", "points = -1\n", {"invalid value", "`points`"}},
      {"first wrong value in the document",
       "repeat = -1\nport = 3\n",
       {"invalid value", "`repeat`"}},
  };
  for (const auto& c : cases) {
    const auto config = from_toml(c.text);
    ASSERT_FALSE(config) << c.name;
    for (const auto& part : c.message_parts) {
      EXPECT_NE(config.error().message.find(part), std::string::npos)
          << c.name << ": expected \"" << part << "\" in \"" << config.error().message << "\"";
    }
  }
}

// A directory of its own for each test, and the usual umask, which new files' modes depend on.
class SavedConfigFile : public ::testing::Test {
 protected:
  ~SavedConfigFile() override { ::umask(previous_mask_); }

  fs::path file(std::string_view name = "config.toml") const { return dir_.path() / name; }
  void put(const fs::path& path, std::string_view bytes) const {
    std::ofstream(path, std::ios::binary) << bytes;
  }

  const mode_t previous_mask_ = ::umask(022);
  test_support::TempDir dir_{"sparvik-structs"};
};

TEST_F(SavedConfigFile, WrittenFileReadsBack) {
  const SavedConfig config{"/dev/ttyUSB0", 921600, 100, 350, 450, 3};
  ASSERT_TRUE(write_config(config, file()));
  const auto back = read_config(file());
  ASSERT_TRUE(back) << back.error().debug();
  EXPECT_EQ(*back, config);
}

TEST_F(SavedConfigFile, WriteReplacesALongerFile) {
  put(file(), std::string(4096, '#'));
  ASSERT_TRUE(write_config(com3(), file()));
  EXPECT_EQ(test_support::read_file(file()), com3_text);
}

TEST_F(SavedConfigFile, FileWithByteOrderMarkReadsLikeOneWithout) {
  put(file(), std::string("\xEF\xBB\xBF") + com3_text);
  const auto config = read_config(file());
  ASSERT_TRUE(config) << config.error().debug();
  EXPECT_EQ(*config, com3());
}

TEST_F(SavedConfigFile, ReadFailuresAreReportedByKind) {
  const auto missing = read_config(file("absent.toml"));
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().debug(), "ConfigNotFound");

  // Opening a directory succeeds; reading it does not.
  const auto directory = read_config(dir_.path());
  ASSERT_FALSE(directory);
  ASSERT_EQ(directory.error().kind(), SparvikError::Kind::OpenOutput);
  EXPECT_EQ(error_number(directory.error()), EISDIR);

  put(file(), "port = \"COM\xE9\"\n");
  const auto latin1 = read_config(file());
  ASSERT_FALSE(latin1);
  EXPECT_EQ(
      latin1.error().debug(),
      R"(OpenOutput(Custom { kind: InvalidData, error: "stream did not contain valid UTF-8" }))");

  put(file(), "port = \n");
  const auto broken = read_config(file());
  ASSERT_FALSE(broken);
  EXPECT_EQ(broken.error().kind(), SparvikError::Kind::InvalidConfig);
  ASSERT_TRUE(broken.error().source());
  EXPECT_NE(broken.error().source()->display().find("line 1"), std::string::npos);

  put(file(), with_line("repeat", ""));
  const auto incomplete = read_config(file());
  ASSERT_FALSE(incomplete);
  EXPECT_EQ(incomplete.error().debug(),
            R"(InvalidConfig(TomlReadError { message: "missing field `repeat`" }))");
}

TEST_F(SavedConfigFile, UnwritablePlacesGiveKeyPressWithTheSystemError) {
  put(file("plain"), "not a directory");
  const struct {
    fs::path path;
    int err;
  } cases[] = {
      {file("plain") / "config.toml", ENOTDIR},
      {file("no-such-dir") / "config.toml", ENOENT},
      {dir_.path(), EISDIR},
  };
  for (const auto& c : cases) {
    const auto written = write_config(com3(), c.path);
    ASSERT_FALSE(written) << c.path;
    ASSERT_EQ(written.error().kind(), SparvikUIError::Kind::KeyPress);
    const auto* io = written.error().payload<IoError>();
    ASSERT_NE(io, nullptr) << c.path;
    EXPECT_EQ(io->code, c.err) << c.path;
    EXPECT_EQ(written.error().screen_text(), "An error occured while processing key events");
  }
}

TEST_F(SavedConfigFile, WriteThatFailsMidwayLeavesTheOldFile) {
  const std::string old_text = with_line("points", "points = 77");
  put(file(), old_text);
  // A file size limit makes the write into the new file fail after its first bytes.
  std::expected<void, SparvikUIError> written;
  {
    const test_support::FileSizeLimit limit(16);
    written = write_config(com3(), file());
  }

  ASSERT_FALSE(written);
  ASSERT_EQ(written.error().kind(), SparvikUIError::Kind::KeyPress);
  EXPECT_EQ(error_number(written.error()), EFBIG);
  EXPECT_EQ(test_support::read_file(file()), old_text);
  EXPECT_EQ(dir_.file_names(), std::vector<std::string>{"config.toml"});
}

TEST_F(SavedConfigFile, NewFileHasTheUsualMode) {
  const auto written = write_config(com3(), file());
  ASSERT_TRUE(written) << written.error().debug();
  EXPECT_EQ(test_support::read_file(file()), com3_text);
  EXPECT_EQ(fs::status(file()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);
}

// As editors do: the new file keeps the old one's mode, and its owner where this process may give
// it one (root may; others keep their own files anyway).
TEST_F(SavedConfigFile, ReplacementKeepsTheModeAndOwnerOfTheOldFile) {
  const uid_t owner = ::geteuid() == 0 ? 65534 : ::geteuid();
  const gid_t group = ::geteuid() == 0 ? 65534 : ::getegid();
  for (const mode_t mode : {0600u, 0640u, 0660u, 0666u}) {
    SCOPED_TRACE(mode);
    put(file(), "old");
    ASSERT_EQ(::chmod(file().c_str(), mode), 0);
    ASSERT_EQ(::chown(file().c_str(), owner, group), 0);
    const auto written = write_config(com3(), file());
    ASSERT_TRUE(written) << written.error().debug();
    EXPECT_EQ(test_support::read_file(file()), com3_text);
    struct stat after {};
    ASSERT_EQ(::stat(file().c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, mode);
    EXPECT_EQ(after.st_uid, owner);
    EXPECT_EQ(after.st_gid, group);
  }
}

// Every path below the test directory, relative to it, in name order.
std::vector<std::string> tree_of(const fs::path& root) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    found.push_back(entry.path().lexically_relative(root).string());
  }
  std::ranges::sort(found);
  return found;
}

TEST_F(SavedConfigFile, LinkStaysALinkAndItsTargetIsRewritten) {
  fs::create_directory(file("sub"));
  const struct {
    const char* name;
    std::vector<std::pair<const char*, fs::path>> links;  // name, target as written in the link
    const char* target;                                   // where the text is to land
    bool target_exists;
  } cases[] = {
      {"relative target beside it", {{"config.toml", "elsewhere.toml"}}, "elsewhere.toml", true},
      {"relative target below it", {{"config.toml", "sub/target.toml"}}, "sub/target.toml", true},
      {"absolute target", {{"config.toml", file("sub/target.toml")}}, "sub/target.toml", true},
      {"chain, each hop read from its own directory",
       {{"config.toml", "sub/hop"}, {"sub/hop", "target.toml"}},
       "sub/target.toml",
       true},
      {"dangling link", {{"config.toml", "sub/new.toml"}}, "sub/new.toml", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& entry : fs::directory_iterator(file("sub"))) fs::remove(entry.path());
    fs::remove(file("elsewhere.toml"));
    for (const auto& [name, target] : c.links) fs::create_symlink(target, file(name));
    if (c.target_exists) put(file(c.target), "old");
    auto expected_tree = tree_of(dir_.path());
    if (!c.target_exists) {
      expected_tree.push_back(c.target);
      std::ranges::sort(expected_tree);
    }

    const auto written = write_config(com3(), file());
    ASSERT_TRUE(written) << written.error().debug();
    for (const auto& [name, target] : c.links) {
      ASSERT_TRUE(fs::is_symlink(file(name))) << name;
      EXPECT_EQ(fs::read_symlink(file(name)), target);
    }
    EXPECT_EQ(test_support::read_file(file(c.target)), com3_text);
    EXPECT_EQ(tree_of(dir_.path()), expected_tree);
    for (const auto& [name, target] : c.links) fs::remove(file(name));
  }
}

// Every name of a file with several shows the new settings: it is rewritten, not replaced.
TEST_F(SavedConfigFile, FileWithASecondNameIsRewrittenUnderBoth) {
  put(file("other.toml"), std::string(4096, '#'));
  fs::create_hard_link(file("other.toml"), file());
  struct stat before {};
  ASSERT_EQ(::stat(file().c_str(), &before), 0);

  const auto written = write_config(com3(), file());
  ASSERT_TRUE(written) << written.error().debug();
  EXPECT_EQ(test_support::read_file(file()), com3_text);
  EXPECT_EQ(test_support::read_file(file("other.toml")), com3_text);
  struct stat after {};
  ASSERT_EQ(::stat(file().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_nlink, 2u);
  EXPECT_EQ(dir_.file_names(), (std::vector<std::string>{"config.toml", "other.toml"}));
}

// Rewritten in place, a write that fails midway puts back what it overwrote and cuts off what it
// added: under both names the old file is whole again.
TEST_F(SavedConfigFile, RewriteInPlaceThatFailsMidwayPutsTheOldFileBack) {
  const struct {
    const char* name;
    std::string old_text;
  } cases[] = {
      {"shorter than the new text", "old"},
      {"longer than the new text", with_line("points", "points = 77") + std::string(300, '#')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& path : dir_.file_paths()) fs::remove(path);
    put(file("other.toml"), c.old_text);
    fs::create_hard_link(file("other.toml"), file());
    std::expected<void, SparvikUIError> written;
    {
      // Files cannot reach past their 16th byte: the new text's write stops there.
      const test_support::FileSizeLimit limit(16);
      written = write_config(com3(), file());
    }
    ASSERT_FALSE(written);
    EXPECT_EQ(error_number(written.error()), EFBIG);
    EXPECT_EQ(test_support::read_file(file()), c.old_text);
    EXPECT_EQ(test_support::read_file(file("other.toml")), c.old_text);
    EXPECT_EQ(dir_.file_names(), (std::vector<std::string>{"config.toml", "other.toml"}));
  }
}

// A settings file linked to /dev/null keeps nothing: the settings go into it, and the link and the
// device stay as they are.
TEST_F(SavedConfigFile, LinkToDevNullTakesTheSettingsAndStays) {
  struct stat device_before {};
  ASSERT_EQ(::stat("/dev/null", &device_before), 0);
  fs::create_symlink("/dev/null", file());

  const auto written = write_config(com3(), file());
  ASSERT_TRUE(written) << written.error().debug();
  ASSERT_TRUE(fs::is_symlink(file()));
  EXPECT_EQ(fs::read_symlink(file()), "/dev/null");
  struct stat device_after {};
  ASSERT_EQ(::stat("/dev/null", &device_after), 0);
  EXPECT_TRUE(S_ISCHR(device_after.st_mode));
  EXPECT_EQ(device_after.st_rdev, device_before.st_rdev);
  EXPECT_EQ(device_after.st_mode, device_before.st_mode);
  EXPECT_EQ(dir_.file_names(), std::vector<std::string>{"config.toml"});
  EXPECT_FALSE(read_config(file()));
}

// A FIFO would block, a socket takes no file's text, a block device is a disk: each is left as it
// is, in the settings file's place or behind a link.
TEST_F(SavedConfigFile, FifoSocketOrBlockDeviceInItsPlaceIsNeitherWrittenNorReplaced) {
  const struct {
    const char* name;
    std::function<void(const fs::path&)> make;
    bool (*is_still)(const fs::path&);
  } kinds[] = {
      {"FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); },
       [](const fs::path& p) { return fs::is_fifo(p); }},
      {"socket",
       [](const fs::path& p) {
         const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
         ASSERT_GE(fd, 0);
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         ASSERT_LT(p.native().size(), sizeof address.sun_path);
         std::strcpy(address.sun_path, p.c_str());
         ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
         ::close(fd);
       },
       [](const fs::path& p) { return fs::is_socket(p); }},
      // Only root may make one; loop0's numbers, never opened.
      {"block device",
       [](const fs::path& p) {
         ASSERT_EQ(::mknod(p.c_str(), S_IFBLK | 0644, ::makedev(7, 0)), 0) << std::strerror(errno);
       },
       [](const fs::path& p) { return fs::is_block_file(p); }},
  };
  for (const auto& kind : kinds) {
    if (std::string_view(kind.name) == "block device" && ::geteuid() != 0) continue;
    for (const bool behind_link : {false, true}) {
      SCOPED_TRACE(::testing::Message()
                   << kind.name << (behind_link ? " behind a link" : " in its place"));
      const fs::path special = file(behind_link ? "special" : "config.toml");
      kind.make(special);
      if (behind_link) fs::create_symlink("special", file());
      const auto written = write_config(com3(), file());
      ASSERT_FALSE(written);
      EXPECT_EQ(written.error().kind(), SparvikUIError::Kind::KeyPress);
      EXPECT_TRUE(kind.is_still(special));
      EXPECT_EQ(fs::is_symlink(file()), behind_link);
      const std::vector<std::string> expected_names =
          behind_link ? std::vector<std::string>{"config.toml", "special"}
                      : std::vector<std::string>{"config.toml"};
      EXPECT_EQ(dir_.file_names(), expected_names);
      for (const auto& path : dir_.file_paths()) fs::remove(path);
    }
  }
}

struct PermissionCase {
  const char* name;
  mode_t directory_mode;
  std::optional<mode_t> file_mode;  // none: no settings file
  bool owned_by_writer;             // false: another user's file
  int expected_errno;               // 0: written
  friend void PrintTo(const PermissionCase& c, std::ostream* out) { *out << c.name; }
};

// write_config run in a child process by a user whom file permissions bind: this user, or when
// this one is root (which may write anything) uid and gid 65534 ("nobody"). The test directory
// and the settings file are set up as the case says, owned by the writer unless the case says not.
class SavedConfigPermissions : public SavedConfigFile,
                               public ::testing::WithParamInterface<PermissionCase> {
 protected:
  static constexpr uid_t nobody = 65534;
  // Exit statuses of the child besides an error number.
  static constexpr int written_ok = 0;
  static constexpr int other_failure = 250;  // not KeyPress, or no error number
  static constexpr int no_bound_user = 251;  // could not become a user permissions bind

  void TearDown() override { fs::permissions(dir_.path(), fs::perms::owner_all); }

  int write_as_bound_user() {
    const pid_t child = ::fork();
    if (child == 0) {
      // The child only takes its user and calls write_config; the outcome goes back through its
      // exit status, never through test assertions.
      if (::geteuid() == 0 &&
          (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)) {
        ::_exit(no_bound_user);
      }
      if (::access(probe_.path().c_str(), W_OK) == 0 || ::access(dir_.path().c_str(), X_OK) != 0) {
        ::_exit(no_bound_user);
      }
      const auto written = write_config(com3(), file());
      if (written) ::_exit(written_ok);
      const int code = written.error().kind() == SparvikUIError::Kind::KeyPress
                           ? error_number(written.error())
                           : -1;
      ::_exit(code > 0 && code < other_failure ? code : other_failure);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
      return other_failure;
    }
    return WEXITSTATUS(status);
  }

  // Read-only for everyone: a writer that can still write into it is bound by no permission.
  test_support::TempDir probe_{"sparvik-probe"};
};

TEST_P(SavedConfigPermissions, DecideWhetherAndHowItIsRewritten) {
  const PermissionCase& c = GetParam();
  const bool root = ::geteuid() == 0;
  if (!c.owned_by_writer && !root) GTEST_SKIP() << "only root can make another user's file";
  const std::string old_text = with_line("points", "points = 77");
  struct stat before {};
  if (c.file_mode) {
    put(file(), old_text);
    ASSERT_EQ(::chmod(file().c_str(), *c.file_mode), 0);
    if (root && c.owned_by_writer) {
      ASSERT_EQ(::chown(file().c_str(), nobody, nobody), 0);
    }
    ASSERT_EQ(::stat(file().c_str(), &before), 0);
  }
  ASSERT_EQ(::chmod(probe_.path().c_str(), 0555), 0);
  ASSERT_EQ(::chmod(dir_.path().c_str(), c.directory_mode), 0);

  const int outcome = write_as_bound_user();
  if (outcome == no_bound_user) {
    GTEST_SKIP() << "cannot run as a user whom file permissions bind (uid 65534 from root)";
  }
  EXPECT_EQ(outcome, c.expected_errno) << (outcome < other_failure ? std::strerror(outcome) : "");
  const bool present = c.file_mode || c.expected_errno == 0;
  if (present) {
    EXPECT_EQ(test_support::read_file(file()), c.expected_errno == 0 ? com3_text : old_text);
  }
  if (c.file_mode) {
    struct stat after {};
    ASSERT_EQ(::stat(file().c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
  }
  // Nothing left beside it, and no file made where none was written.
  EXPECT_EQ(dir_.file_names(),
            present ? std::vector<std::string>{"config.toml"} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    SavedConfigFile, SavedConfigPermissions,
    ::testing::Values(
        PermissionCase{"ReadOnlyFileInWritableDirectory", 0777, 0444, true, EACCES},
        PermissionCase{"AnotherUsersFileInWritableDirectory", 0777, 0644, false, EACCES},
        PermissionCase{"ReadOnlyFileInReadOnlyDirectory", 0555, 0444, true, EACCES},
        PermissionCase{"WritableFileInReadOnlyDirectoryIsRewrittenInPlace", 0555, 0600, true, 0},
        PermissionCase{"MissingFileInReadOnlyDirectory", 0555, std::nullopt, true, EACCES},
        PermissionCase{"PrivateFileInWritableDirectoryIsReplaced", 0777, 0600, true, 0},
        // A sticky directory takes the new file but refuses its rename over another user's.
        PermissionCase{"AnotherUsersWritableFileInStickyDirectoryIsRewrittenInPlace", 01777, 0666,
                       false, 0},
        // A replacement would be the writer's file: rewritten in place, it stays the other's.
        PermissionCase{"AnotherUsersWritableFileInWritableDirectoryIsRewrittenInPlace", 0777, 0666,
                       false, 0}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

// Whatever stands in the place of the settings file, reading returns at once with an error (and
// start-up goes on with its defaults): nothing blocks, nothing is read past the size limit, and
// nothing nested deep reaches the TOML parser.
TEST_F(SavedConfigFile, HostileFilesAreRefusedPromptly) {
  // Exactly `size` bytes: the settings followed by a comment that fills the rest.
  const auto padded = [](std::string text, std::size_t size) {
    text += "#";
    text.resize(size - 1, 'x');
    return text + "\n";
  };
  // One dotted key filling the whole file.
  const auto dotted = [](std::size_t size) {
    std::string text = "a";
    while (text.size() + 2 + 4 <= size) text += ".a";
    text += " = 1";
    text.resize(size - 1, ' ');
    return text + "\n";
  };
  std::string inline_tables = "x = ";
  std::string arrays = "x = ";
  for (int i = 0; i < 20000; ++i) inline_tables += "{a=";
  for (int i = 0; i < 30000; ++i) arrays += "[";

  const auto kind_of = [](const std::expected<SavedConfig, SparvikError>& result) {
    return result ? std::string("accepted") : result.error().debug();
  };
  // A well-formed file exactly at the limit is still read.
  put(file(), padded(com3_text, max_config_file_size));
  EXPECT_EQ(kind_of(read_config(file())), "accepted");

  const struct {
    const char* name;
    std::function<void(const fs::path&)> make;
    SparvikError::Kind kind;
    std::string in_message;
  } cases[] = {
      {"FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); },
       SparvikError::Kind::OpenOutput, "not a regular file"},
      {"link to /dev/zero", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
       SparvikError::Kind::OpenOutput, "not a regular file"},
      {"one byte over the limit",
       [&](const fs::path& p) { put(p, padded(com3_text, max_config_file_size + 1)); },
       SparvikError::Kind::OpenOutput, "File too large"},
      {"100 MB", [&](const fs::path& p) { fs::resize_file((put(p, com3_text), p), 100'000'000); },
       SparvikError::Kind::OpenOutput, "File too large"},
      {"one dotted key at the limit",
       [&](const fs::path& p) { put(p, dotted(max_config_file_size)); },
       SparvikError::Kind::InvalidConfig, "nested too deep"},
      {"deep inline tables", [&](const fs::path& p) { put(p, inline_tables); },
       SparvikError::Kind::InvalidConfig, "nested too deep"},
      {"deep arrays", [&](const fs::path& p) { put(p, arrays); }, SparvikError::Kind::InvalidConfig,
       "nested too deep"},
      {"two byte-order marks",
       [&](const fs::path& p) { put(p, std::string("\xEF\xBB\xBF\xEF\xBB\xBF") + com3_text); },
       SparvikError::Kind::InvalidConfig, "byte-order mark"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(file());
    c.make(file());
    const auto config = read_config(file());
    ASSERT_FALSE(config);
    EXPECT_EQ(config.error().kind(), c.kind) << config.error().debug();
    EXPECT_NE(config.error().debug().find(c.in_message), std::string::npos)
        << config.error().debug();
  }
}

TEST_F(SavedConfigFile, UnrenderableRecordLeavesTheOldFile) {
  put(file(), com3_text);
  SavedConfig huge = com3();
  huge.points = largest_toml_integer + 1;
  const auto written = write_config(huge, file());
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().kind(), SparvikUIError::Kind::SerializeError);
  EXPECT_EQ(test_support::read_file(file()), com3_text);
}

}  // namespace
}  // namespace sparvik
