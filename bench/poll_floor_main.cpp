// The floor of an idle full-screen program: a loop that only waits up to 16 ms for input on the
// terminal, as the run loop does, and does nothing else. "q" ends it. Run by sparvik_idle_bench
// beside the program itself.
#include <poll.h>
#include <unistd.h>

int main() {
  for (;;) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&input, 1, 16);
    if (ready <= 0) continue;  // time-out or signal: wait again
    char byte = 0;
    if (::read(STDIN_FILENO, &byte, 1) <= 0 || byte == 'q') return 0;
  }
}
