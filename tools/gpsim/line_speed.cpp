// Reads a tty's speed as a number, including speeds without a B constant.
// Kept apart: <asm/termbits.h> and <termios.h> cannot share a file.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace gpsim {

int read_line_speed(int fd) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return 0;
  return static_cast<int>(t.c_ospeed);
}

}  // namespace gpsim
