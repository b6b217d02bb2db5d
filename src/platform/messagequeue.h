// The UI thread's event queue as the main dialog's logic sees it: the Qt
// window implements it over Qt's event loop, the headless front end with
// CMessageLoop. Posting a private window message is posting a task here.
#pragma once
#include <functional>

namespace tw {

class IMessageQueue {
 public:
  virtual ~IMessageQueue() = default;
  // Queues a task for the UI thread. Callable from any thread; never waits.
  virtual void Post(std::function<void()> task) = 0;
  // Runs the tasks waiting now, re-entrantly, on the UI thread. Does nothing
  // when called from another thread.
  virtual void PumpMessages() = 0;
};

}  // namespace tw
