// Top-level windows with a title and an owning process, entered in the
// root window's _NET_CLIENT_LIST as a window manager would: what an older
// upgrader looks like on an X server.
#pragma once
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace tw::test {

class X11Clients {
 public:
  struct Client {
    std::string title;
    pid_t pid;
  };
  // Null when no X display can be opened.
  static std::unique_ptr<X11Clients> Create(const std::vector<Client>& clients);
  ~X11Clients();  // removes the windows and the client list

 private:
  X11Clients() = default;
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace tw::test
