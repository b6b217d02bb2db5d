/* Preloaded into Wine for the tests: a pseudo-terminal has no modem lines,
 * so Wine's modem-line ioctls fail on it (and with them WaitCommEvent). Here
 * they succeed, with the lines of a connected modem. Other calls pass. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <stddef.h>
#include <string.h>
#include <sys/ioctl.h>

int ioctl(int fd, unsigned long request, ...) {
  static int (*real_ioctl)(int, unsigned long, ...);
  if (real_ioctl == NULL) {
    void* symbol = dlsym(RTLD_NEXT, "ioctl");
    memcpy(&real_ioctl, &symbol, sizeof real_ioctl);
  }
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  int result = real_ioctl(fd, request, arg);
  if (result == -1 && (errno == ENOTTY || errno == EINVAL || errno == EIO)) {
    switch (request) {
      case TIOCMGET:
        *(int*)arg = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
        return 0;
      case TIOCMSET:
      case TIOCMBIS:
      case TIOCMBIC:
        return 0;
      default:
        break;
    }
  }
  return result;
}
