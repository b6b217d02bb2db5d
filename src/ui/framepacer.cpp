#include "ui/framepacer.h"

#include <QMetaObject>
#include <QTimer>
#include <utility>

namespace tw {

FramePacer::FramePacer(std::function<void()> deliver, std::chrono::milliseconds frame)
    : m_deliver(std::move(deliver)), m_frame(frame) {}

void FramePacer::Request() {
  QMetaObject::invokeMethod(
      &m_context, [this] { Arrive(); }, Qt::QueuedConnection);
}

// On the UI thread: now when the last delivery is a frame old, else when it will be.
void FramePacer::Arrive() {
  const auto since = std::chrono::steady_clock::now() - m_lastDelivery;
  if (since >= m_frame) {
    DeliverNow();
    return;
  }
  const auto rest = std::chrono::ceil<std::chrono::milliseconds>(m_frame - since);
  QTimer::singleShot(rest, Qt::PreciseTimer, &m_context, [this] { DeliverNow(); });
}

void FramePacer::DeliverNow() {
  m_lastDelivery = std::chrono::steady_clock::now();
  m_deliver();
}

}  // namespace tw
