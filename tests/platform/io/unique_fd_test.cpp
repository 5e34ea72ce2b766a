// The descriptor owner: every descriptor is closed exactly once, and a failing close is told.
#include "platform/io/unique_fd.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace sparvik::io {
namespace {

bool is_open(int fd) {
  return ::fcntl(fd, F_GETFD) != -1;
}

int fresh_fd() {
  const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd < 0) ADD_FAILURE() << "cannot open /dev/null";
  return fd;
}

TEST(UniqueFd, ClosesOnceWhereverTheDescriptorWent) {
  const int first = fresh_fd();
  const int second = fresh_fd();
  {
    UniqueFd a(first);
    UniqueFd b(std::move(a));
    EXPECT_FALSE(a.valid());
    EXPECT_EQ(b.get(), first);

    UniqueFd c(second);
    c = std::move(b);  // drops `second`, takes `first`
    EXPECT_FALSE(is_open(second));
    EXPECT_TRUE(is_open(first));
    EXPECT_EQ(c.get(), first);

    c = std::move(c);
    EXPECT_TRUE(is_open(first));
  }
  EXPECT_FALSE(is_open(first));
}

TEST(UniqueFd, CloseReportsItsFailureAndReleasesTheDescriptor) {
  UniqueFd fd(fresh_fd());
  EXPECT_TRUE(fd.close());
  EXPECT_FALSE(fd.valid());
  EXPECT_TRUE(fd.close());  // nothing left to close

  UniqueFd stale(fresh_fd());
  ::close(stale.get());  // closed behind its owner's back
  const auto closed = stale.close();
  ASSERT_FALSE(closed);
  EXPECT_EQ(closed.error().code, EBADF);
  EXPECT_FALSE(stale.valid());
}

}  // namespace
}  // namespace sparvik::io
