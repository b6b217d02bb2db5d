// The UI thread's event queue over Qt's event loop: a posted task runs on
// the thread that made the queue, queued behind the events already waiting.
#pragma once
#include <QObject>

#include "platform/messagequeue.h"

namespace tw {

class QtMessageQueue final : public IMessageQueue {
 public:
  QtMessageQueue() = default;
  void Post(std::function<void()> task) override;
  void PumpMessages() override;

 private:
  QObject m_context;  // lives on the UI thread; tasks run in its thread
};

}  // namespace tw
