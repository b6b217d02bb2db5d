/* Preloaded into Wine for the tests (its programs and its server):
 * - a pseudo-terminal has no modem lines, so Wine's modem-line ioctls fail on
 *   it (and with them WaitCommEvent). Here they succeed, with the lines of a
 *   connected modem. Other calls pass.
 * - Wine's server opens the devices, and it is a session leader without a
 *   terminal: the first pty it opened without O_NOCTTY would become its
 *   controlling terminal, and that pty's hang-up (the simulated handset
 *   leaving) would send it SIGHUP, on which Debian's server writes out every
 *   object it holds while every program of the prefix waits. Here no open
 *   takes a controlling terminal. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stddef.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/types.h>

static void* Next(const char* name) {
  return dlsym(RTLD_NEXT, name);
}

int ioctl(int fd, unsigned long request, ...) {
  static int (*real_ioctl)(int, unsigned long, ...);
  if (real_ioctl == NULL) {
    void* symbol = Next("ioctl");
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

/* The mode argument exists only with O_CREAT or O_TMPFILE. */
static mode_t ModeOf(int flags, va_list args) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
}

typedef int (*OpenCall)(const char*, int, ...);
typedef int (*OpenAtCall)(int, const char*, int, ...);

static int OpenWithoutTerminal(const char* name, const char* path, int flags, mode_t mode) {
  OpenCall real = NULL;
  void* symbol = Next(name);
  memcpy(&real, &symbol, sizeof real);
  return real(path, flags | O_NOCTTY, mode);
}

static int OpenAtWithoutTerminal(const char* name, int dir, const char* path, int flags, mode_t mode) {
  OpenAtCall real = NULL;
  void* symbol = Next(name);
  memcpy(&real, &symbol, sizeof real);
  return real(dir, path, flags | O_NOCTTY, mode);
}

int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeOf(flags, args);
  va_end(args);
  return OpenWithoutTerminal("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeOf(flags, args);
  va_end(args);
  return OpenWithoutTerminal("open64", path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeOf(flags, args);
  va_end(args);
  return OpenAtWithoutTerminal("openat", dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeOf(flags, args);
  va_end(args);
  return OpenAtWithoutTerminal("openat64", dir, path, flags, mode);
}
