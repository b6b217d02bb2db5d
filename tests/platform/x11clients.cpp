#include "tests/platform/x11clients.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tw::test {

struct X11Clients::State {
  Display* display = nullptr;
  std::vector<Window> windows;
};

std::unique_ptr<X11Clients> X11Clients::Create(const std::vector<Client>& clients) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    return nullptr;
  }
  std::unique_ptr<X11Clients> made(new X11Clients);
  made->m_state = std::make_unique<State>();
  made->m_state->display = display;
  Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  for (const Client& client : clients) {
    Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(client.title.data()),
                    static_cast<int>(client.title.size()));
    long pid = client.pid;
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
    made->m_state->windows.push_back(window);
  }
  XChangeProperty(display, DefaultRootWindow(display), XInternAtom(display, "_NET_CLIENT_LIST", False),
                  XA_WINDOW, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(made->m_state->windows.data()),
                  static_cast<int>(made->m_state->windows.size()));
  XSync(display, False);
  return made;
}

X11Clients::~X11Clients() {
  Display* display = m_state->display;
  XDeleteProperty(display, DefaultRootWindow(display), XInternAtom(display, "_NET_CLIENT_LIST", False));
  for (Window window : m_state->windows) {
    XDestroyWindow(display, window);
  }
  XCloseDisplay(display);
}

}  // namespace tw::test
