#include "ui/qtmessagequeue.h"

#include <QCoreApplication>
#include <QThread>

namespace tw {

void QtMessageQueue::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(
      &m_context, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

void QtMessageQueue::PumpMessages() {
  if (QThread::currentThread() != m_context.thread()) return;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace tw
