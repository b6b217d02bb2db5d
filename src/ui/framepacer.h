// Carries stored reports to the UI thread at most once per frame. The first
// request after a quiet frame is delivered as soon as the UI thread runs; one
// that comes sooner waits for the rest of the frame, so a worker reporting
// every block wakes the UI thread a few dozen times a second, not thousands.
#pragma once
#include <QObject>
#include <chrono>
#include <functional>

namespace tw {

class FramePacer {
 public:
  // deliver runs on the thread that creates the pacer (the UI thread).
  FramePacer(std::function<void()> deliver, std::chrono::milliseconds frame);

  // Any thread: asks for one delivery. The caller asks again only after the
  // delivery has run (it keeps its own "posted" flag under its lock).
  void Request();

 private:
  void Arrive();
  void DeliverNow();

  std::function<void()> m_deliver;
  std::chrono::milliseconds m_frame;
  // Context of the queued calls and timers: they are dropped with the pacer.
  QObject m_context;
  std::chrono::steady_clock::time_point m_lastDelivery;  // UI thread only
};

}  // namespace tw
