// Reads a terminal's output speed with TCGETS2 (kept apart from <termios.h>).
#include <asm/termbits.h>
#include <sys/ioctl.h>

long tcgets2_speed(int fd)
{
    struct termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0) return -1;
    return static_cast<long>(t.c_ospeed);
}
