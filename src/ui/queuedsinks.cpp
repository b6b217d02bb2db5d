#include "ui/queuedsinks.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

#include "ui/textprogressctrl.h"

namespace tw {

namespace {

// The log's lines end in "\r\n"; the box wants "\n".
QString ToBoxText(const std::string& text) {
  QString result = QString::fromStdString(text);
  result.remove(QLatin1Char('\r'));
  return result;
}

bool Continues(const std::string& shown, const std::string& text) {
  return !shown.empty() && text.size() >= shown.size() && text.compare(0, shown.size(), shown) == 0;
}

}  // namespace

void ShowLogText(QPlainTextEdit& edit, const std::string& shown, const std::string& text) {
  // A tail that starts between '\r' and '\n' would be fine too: the '\r' is dropped either way.
  if (Continues(shown, text)) {
    ShowLogChange(edit, true, text.substr(shown.size()));
  } else {
    ShowLogChange(edit, false, text);
  }
}

void ShowLogChange(QPlainTextEdit& edit, bool bTail, const std::string& text) {
  if (bTail) {
    QTextCursor cursor(edit.document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(ToBoxText(text));
  } else {
    edit.setPlainText(ToBoxText(text));
  }
  QTextCursor end = edit.textCursor();
  end.movePosition(QTextCursor::End);
  end.movePosition(QTextCursor::StartOfLine);
  edit.setTextCursor(end);
  edit.ensureCursorVisible();
  edit.verticalScrollBar()->setValue(edit.verticalScrollBar()->maximum());
}

QueuedLogSink::QueuedLogSink(Show show, std::chrono::milliseconds frame)
    : m_show(std::move(show)), m_pacer([this] { Deliver(); }, frame) {}

QueuedLogSink::QueuedLogSink(QPlainTextEdit* pEdit, std::chrono::milliseconds frame)
    : QueuedLogSink(
          [pEdit, shown = std::string()](const std::string& text) mutable {
            ShowLogText(*pEdit, shown, text);
            shown = text;
          },
          frame) {}

void QueuedLogSink::SetLogText(const std::string& text) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_strPending = text;
  if (m_bPosted) return;
  m_bPosted = true;
  m_pacer.Request();
}

bool QueuedLogSink::Idle() {
  std::lock_guard<std::mutex> guard(m_lock);
  return !m_bPosted;
}

void QueuedLogSink::Deliver() {
  std::string text;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    text.swap(m_strPending);
    m_bPosted = false;
  }
  m_show(text);
}

void ShowProgress(CTextProgressCtrl& bar, const ProgressReport& report) {
  if (report.text) bar.SetWindowText(report.text->c_str());
  if (report.pos) bar.SetPos(*report.pos);
}

QueuedProgressSink::QueuedProgressSink(Show show, std::chrono::milliseconds frame)
    : m_show(std::move(show)), m_pacer([this] { Deliver(); }, frame) {}

QueuedProgressSink::QueuedProgressSink(CTextProgressCtrl* pProgress, std::chrono::milliseconds frame)
    : QueuedProgressSink([pProgress](const ProgressReport& report) { ShowProgress(*pProgress, report); },
                         frame) {}

void QueuedProgressSink::SetText(const std::string& text) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_pending.text = text;
  PostLocked();
}

void QueuedProgressSink::SetPos(int pos) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_pending.pos = pos;
  PostLocked();
}

bool QueuedProgressSink::Idle() {
  std::lock_guard<std::mutex> guard(m_lock);
  return !m_bPosted;
}

void QueuedProgressSink::PostLocked() {
  if (m_bPosted) return;
  m_bPosted = true;
  m_pacer.Request();
}

void QueuedProgressSink::Deliver() {
  ProgressReport report;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    std::swap(report, m_pending);
    m_bPosted = false;
  }
  m_show(report);
}

}  // namespace tw
