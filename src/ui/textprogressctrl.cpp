#include "ui/textprogressctrl.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace tw {

namespace {

// Truncates toward zero like a cast, but stays defined for values beyond
// the int range (they saturate) and for NaN (0).
int TruncToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (value <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

// position + n without signed overflow: the sum saturates at the int limits.
int AddSaturating(int position, int n) {
  const long long sum = static_cast<long long>(position) + n;
  return static_cast<int>(
      std::clamp<long long>(sum, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

CTextProgressCtrl::CTextProgressCtrl(QWidget* parent)
    : QWidget(parent),
      m_colFore(FromQColor(palette().color(QPalette::Highlight))),
      m_colBk(FromQColor(palette().color(QPalette::Window))),
      m_colTextFore(FromQColor(palette().color(QPalette::Base))),
      m_colTextBk(FromQColor(palette().color(QPalette::Highlight))) {
  // The paint covers every pixel, so the background is never erased first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CTextProgressCtrl::SetFillColour(COLORREF colour) {
  m_colFore = colour;
}

void CTextProgressCtrl::SetBackgroundColour(COLORREF colour) {
  m_colBk = colour;
}

void CTextProgressCtrl::SetTextColourOverBackground(COLORREF colour) {
  m_colTextBk = colour;
}

void CTextProgressCtrl::SetTextColourOverBar(COLORREF colour) {
  m_colTextFore = colour;
}

void CTextProgressCtrl::SetTextVisible(BOOL bShow) {
  const BOOL changed = (m_bShowText != 0) != (bShow != 0);
  m_bShowText = bShow;
  if (changed) update();
}

void CTextProgressCtrl::SetBorder(bool bBorder) {
  const int margin = bBorder ? 1 : 0;
  setContentsMargins(margin, margin, margin, margin);
  m_nBarWidth = -1;
  update();
}

void CTextProgressCtrl::SetRange(int nLower, int nUpper) {
  m_nMin = nLower;
  m_nMax = nUpper;
}

int CTextProgressCtrl::SetPos(int nPos) {
  const int previous = m_nPos;
  m_nPos = nPos;
  const int barWidth = BarWidthFor(Fraction());
  if (barWidth != m_nBarWidth) {
    m_nBarWidth = barWidth;
    repaint();
  }
  return previous;
}

int CTextProgressCtrl::StepIt() {
  return SetPos(AddSaturating(m_nPos, m_nStepSize));
}

int CTextProgressCtrl::OffsetPos(int nPos) {
  return SetPos(AddSaturating(m_nPos, nPos));
}

int CTextProgressCtrl::SetStep(int nStep) {
  const int previous = m_nStepSize;
  m_nStepSize = nStep;
  return previous;
}

void CTextProgressCtrl::SetWindowText(const char* text) {
  const std::string caption = text ? text : "";
  if (caption == m_strText) return;
  m_strText = caption;
  update();
}

int CTextProgressCtrl::GetWindowText(char* buffer, int size) const {
  if (buffer == nullptr || size < 1) return 0;
  const std::size_t count = std::min(m_strText.size(), static_cast<std::size_t>(size) - 1);
  std::memcpy(buffer, m_strText.data(), count);
  buffer[count] = '\0';
  return static_cast<int>(count);
}

// (position - minimum) / (maximum - minimum), in double so that neither the
// difference nor a huge position overflows; 0 for an empty range.
double CTextProgressCtrl::Fraction() const {
  if (m_nMax == m_nMin) return 0.0;
  return (static_cast<double>(m_nPos) - m_nMin) / (static_cast<double>(m_nMax) - m_nMin);
}

int CTextProgressCtrl::BarWidthFor(double fraction) const {
  return TruncToInt(contentsRect().width() * fraction);
}

QString CTextProgressCtrl::DisplayText(double fraction) const {
  if (!m_strText.empty()) return QString::fromStdString(m_strText);
  return QString::asprintf("%d%%", TruncToInt(fraction * 100.0));
}

void CTextProgressCtrl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect client = contentsRect();
  if (client != rect()) {
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  // An empty or reversed range shows only the background.
  if (m_nMin >= m_nMax) {
    painter.fillRect(client, ToQColor(m_colBk));
    return;
  }
  // Cut the control at the end of the bar; the cut may lie outside.
  const double fraction = Fraction();
  const int split = std::clamp(BarWidthFor(fraction), 0, client.width());
  const QRect done(client.left(), client.top(), split, client.height());
  const QRect rest(client.left() + split, client.top(), client.width() - split, client.height());
  // The two fills.
  painter.fillRect(done, ToQColor(m_colFore));
  painter.fillRect(rest, ToQColor(m_colBk));
  if (!m_bShowText) return;
  // The same text twice, each clipped to one part in its own colour.
  const QString text = DisplayText(fraction);
  painter.setFont(font());
  const int flags = Qt::AlignCenter | Qt::TextSingleLine;
  if (!done.isEmpty()) {
    painter.setClipRect(done);
    painter.setPen(ToQColor(m_colTextFore));
    painter.drawText(client, flags, text);
  }
  if (!rest.isEmpty()) {
    painter.setClipRect(rest);
    painter.setPen(ToQColor(m_colTextBk));
    painter.drawText(client, flags, text);
  }
}

void CTextProgressCtrl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  m_nBarWidth = -1;
}

}  // namespace tw
