#include "ui/queuedsinks.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

#include "ui/textprogressctrl.h"

namespace tw {

namespace {

// The log's lines end in "\r\n"; the box wants "\n".
QString ToBoxText(const std::string& text, std::size_t from) {
  QString result = QString::fromUtf8(text.data() + from, static_cast<qsizetype>(text.size() - from));
  result.remove(QLatin1Char('\r'));
  return result;
}

}  // namespace

void ShowLogText(QPlainTextEdit& edit, const std::string& shown, const std::string& text) {
  // A tail that starts between '\r' and '\n' would be fine too: the '\r' is dropped either way.
  if (!shown.empty() && text.size() >= shown.size() && text.compare(0, shown.size(), shown) == 0) {
    QTextCursor cursor(edit.document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(ToBoxText(text, shown.size()));
  } else {
    edit.setPlainText(ToBoxText(text, 0));
  }
  QTextCursor end = edit.textCursor();
  end.movePosition(QTextCursor::End);
  end.movePosition(QTextCursor::StartOfLine);
  edit.setTextCursor(end);
  edit.ensureCursorVisible();
  edit.verticalScrollBar()->setValue(edit.verticalScrollBar()->maximum());
}

QueuedLogSink::QueuedLogSink(QPlainTextEdit* pEdit, std::chrono::milliseconds frame)
    : m_pEdit(pEdit), m_pacer([this] { Deliver(); }, frame) {}

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
  ShowLogText(*m_pEdit, m_strShown, text);
  m_strShown = std::move(text);
}

QueuedProgressSink::QueuedProgressSink(CTextProgressCtrl* pProgress, std::chrono::milliseconds frame)
    : m_pProgress(pProgress), m_pacer([this] { Deliver(); }, frame) {}

void QueuedProgressSink::SetText(const std::string& text) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_strText = text;
  PostLocked();
}

void QueuedProgressSink::SetPos(int pos) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_nPos = pos;
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

// The caption first, then the position, as a downloader reports them.
void QueuedProgressSink::Deliver() {
  std::optional<std::string> text;
  std::optional<int> pos;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    text.swap(m_strText);
    pos.swap(m_nPos);
    m_bPosted = false;
  }
  if (text) m_pProgress->SetWindowText(text->c_str());
  if (pos) m_pProgress->SetPos(*pos);
}

}  // namespace tw
