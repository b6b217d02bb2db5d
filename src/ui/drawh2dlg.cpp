#include "ui/drawh2dlg.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "ui/artwork.h"

namespace tw {

namespace {

constexpr COLORREF kCaptionColour = 0xBD3131;  // band, and behind a moving glyph
constexpr COLORREF kOutlineColour = 0x003200;  // left and top edge line
constexpr COLORREF kStripColour = 0x000400;    // strip behind icon and title
constexpr COLORREF kTitleColour = 0x64FF64;    // title text

// A line from x1 to x2 covers x1 up to x2 - 1, one pixel wide.
void HorizontalLine(QPainter& painter, int x1, int x2, int y) {
  if (x2 > x1) painter.drawLine(x1, y, x2 - 1, y);
}

void VerticalLine(QPainter& painter, int x, int y1, int y2) {
  if (y2 > y1) painter.drawLine(x, y1, x, y2 - 1);
}

}  // namespace

CDrawH2Dlg::CDrawH2Dlg(int nIDTemplate, QWidget* pParent)
    : CDialog(nIDTemplate, pParent), m_pClientArea(new QWidget(this)), m_pSysMenu(new QMenu(this)) {
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
  m_pClientArea->move(CaptionClientOrigin());
  AppendSysCommand(tr("Minimize"), SC_MINIMIZE);
  AppendSysCommand(tr("Close\tAlt+F4"), SC_CLOSE);
}

CDrawH2Dlg::~CDrawH2Dlg() = default;

BOOL CDrawH2Dlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_bmpIcon = CaptionIcon();
  m_bmpClose = CloseGlyph();
  m_bmpMinimize = MinimizeGlyph();
  m_bPressed = FALSE;
  m_bShowMinimize = FALSE;
  m_colCaption = kCaptionColour;
  m_colOutline = kOutlineColour;
  m_colStrip = kStripColour;
  m_colTitle = kTitleColour;
  LayoutCaption();
  return TRUE;
}

void CDrawH2Dlg::ShowMinimizeButton(BOOL bShow) {
  m_bShowMinimize = bShow;
  LayoutCaption();
  update();
}

QAction* CDrawH2Dlg::AppendSysCommand(const QString& text, UINT nID) {
  QAction* action = m_pSysMenu->addAction(text);
  connect(action, &QAction::triggered, this, [this, nID] { OnSysCommand(nID, 0); });
  return action;
}

void CDrawH2Dlg::OpenSystemMenu(QPoint globalPos) {
  m_pSysMenu->popup(globalPos);
}

void CDrawH2Dlg::SetClientSize(QSize client) {
  m_pClientArea->resize(client);
  const QPoint origin = CaptionClientOrigin();
  setFixedSize(client.width() + 2 * origin.x(), client.height() + origin.y() + kCaptionEdge);
}

void CDrawH2Dlg::OnSysCommand(UINT nID, LPARAM) {
  if ((nID & 0xFFF0) == SC_MINIMIZE && m_bShowMinimize) showMinimized();
  if ((nID & 0xFFF0) == SC_CLOSE) close();
}

void CDrawH2Dlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  LayoutCaption();
}

void CDrawH2Dlg::LayoutCaption() {
  const CaptionGeometry g = ComputeCaptionGeometry(width(), m_bmpClose.size(), m_bmpMinimize.size(),
                                                   m_bmpIcon.size(), m_bShowMinimize);
  m_rcClose = g.close;
  m_rcMinimize = g.minimize;
  m_rcIcon = g.icon;
  m_nStripRight = g.stripRight;
}

void CDrawH2Dlg::RepaintCaption() {
  repaint(0, 0, width(), CaptionClientOrigin().y());
}

void CDrawH2Dlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintFrame(painter);
  PaintCaption(painter);
}

void CDrawH2Dlg::PaintFrame(QPainter& painter) {
  const QRect r = rect();
  painter.fillRect(r, palette().window());
  painter.setPen(palette().color(QPalette::Light));
  painter.drawLine(r.topLeft(), r.topRight());
  painter.drawLine(r.topLeft(), r.bottomLeft());
  painter.setPen(palette().color(QPalette::Shadow));
  painter.drawLine(r.bottomLeft(), r.bottomRight());
  painter.drawLine(r.topRight(), r.bottomRight());
}

void CDrawH2Dlg::PaintCaption(QPainter& painter) {
  const int e = kCaptionEdge;
  const int c = kCaptionHeight;
  const int b = c + e;
  const int W = width();
  LayoutCaption();
  // The band.
  painter.setPen(ToQColor(m_colCaption));
  for (int y = e; y < b; ++y) HorizontalLine(painter, e, W - e, y);
  // The outline along the left and top edge.
  painter.setPen(ToQColor(m_colOutline));
  VerticalLine(painter, 1, 1, b);
  HorizontalLine(painter, 1, W - e, 1);
  // The buttons, pushed while held down.
  PaintButton(painter, m_rcClose, m_bmpClose, m_bPressed && m_nPressedButton == kCloseButton);
  if (m_bShowMinimize)
    PaintButton(painter, m_rcMinimize, m_bmpMinimize, m_bPressed && m_nPressedButton == kMinimizeButton);
  // The strip behind icon and title.
  painter.setPen(ToQColor(m_colStrip));
  for (int y = e + 1; y <= b - 3; ++y) HorizontalLine(painter, e + 1, m_nStripRight, y);
  // The icon.
  painter.drawImage(m_rcIcon.left, m_rcIcon.top, m_bmpIcon);
  // The title, unclipped: a long one runs over the buttons.
  const QFont font = TitleFont();
  const QFontMetrics metrics(font);
  painter.setFont(font);
  painter.setPen(ToQColor(m_colTitle));
  painter.setBackgroundMode(Qt::TransparentMode);
  const int top = CaptionCentredTop(metrics.height());
  painter.drawText(m_rcIcon.right + 6, top + metrics.ascent(), windowTitle());
}

void CDrawH2Dlg::PaintButton(QPainter& painter, const WinRect& rect, const QImage& glyph, bool pushed) {
  if (!pushed) {
    painter.drawImage(rect.left, rect.top, glyph);
    return;
  }
  painter.fillRect(rect.ToQRect(), ToQColor(m_colCaption));
  painter.drawImage(rect.left + 2, rect.top + 2, glyph);
}

// "MS Sans Serif" at height 9 has no size that small and resolves to its
// 8-point face, 13 pixels high; Liberation Sans at 11 pixels has that height.
QFont CDrawH2Dlg::TitleFont() const {
  QFont font;
  font.setFamilies(
      {QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("NanumGothic")});
  font.setPixelSize(11);
  return font;
}

void CDrawH2Dlg::OnNcLButtonDown(QPoint pt) {
  if (m_rcClose.Contains(pt)) {
    m_bPressed = TRUE;
    m_nPressedButton = kCloseButton;
    RepaintCaption();
    return;
  }
  if (m_bShowMinimize && m_rcMinimize.Contains(pt)) {
    m_bPressed = TRUE;
    m_nPressedButton = kMinimizeButton;
    RepaintCaption();
    return;
  }
  // Default handling: the icon opens the system menu, the caption moves the window.
  const int hit = OnNcHitTest(pt);
  if (hit == HTSYSMENU) OpenSystemMenu(SystemMenuPosition());
  if (hit == HTCAPTION) StartWindowDrag(mapToGlobal(pt));
}

void CDrawH2Dlg::OnNcLButtonUp(QPoint pt) {
  m_bDragging = false;
  if (!m_bPressed) return;
  if (m_rcClose.Contains(pt)) {
    m_bPressed = FALSE;
    RepaintCaption();
    OnOK();
  } else if (m_bShowMinimize && m_rcMinimize.Contains(pt)) {
    m_bPressed = FALSE;
    RepaintCaption();
    showMinimized();
  }
}

int CDrawH2Dlg::OnNcHitTest(QPoint pt) {
  if (m_bPressed) {
    const WinRect& held = (m_nPressedButton == kCloseButton) ? m_rcClose : m_rcMinimize;
    if (!held.Contains(pt)) {
      m_bPressed = FALSE;
      RepaintCaption();
    }
  }
  if (!rect().contains(pt)) return HTNOWHERE;
  if (m_pClientArea->geometry().contains(pt)) return HTCLIENT;
  if (m_rcIcon.Contains(pt)) return HTSYSMENU;
  if (pt.y() >= kCaptionEdge && pt.y() < CaptionClientOrigin().y()) return HTCAPTION;
  return HTBORDER;
}

void CDrawH2Dlg::StartWindowDrag(QPoint globalPos) {
  QWindow* window = windowHandle();
  if (window != nullptr && window->startSystemMove()) return;
  m_bDragging = true;
  m_dragOffset = globalPos - pos();
}

void CDrawH2Dlg::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) OnNcLButtonDown(event->position().toPoint());
  QDialog::mousePressEvent(event);
}

void CDrawH2Dlg::mouseMoveEvent(QMouseEvent* event) {
  OnNcHitTest(event->position().toPoint());
  if (m_bDragging) move(event->globalPosition().toPoint() - m_dragOffset);
  QDialog::mouseMoveEvent(event);
}

void CDrawH2Dlg::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) OnNcLButtonUp(event->position().toPoint());
  QDialog::mouseReleaseEvent(event);
}

QPoint CDrawH2Dlg::SystemMenuPosition() const {
  return mapToGlobal(QPoint(m_rcIcon.left, m_rcIcon.bottom));
}

void CDrawH2Dlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && event->modifiers() == Qt::AltModifier) {
    OpenSystemMenu(SystemMenuPosition());
    event->accept();
    return;
  }
  CDialog::keyPressEvent(event);
}

void CDrawH2Dlg::contextMenuEvent(QContextMenuEvent* event) {
  const int hit = OnNcHitTest(event->pos());
  if (hit == HTCAPTION || hit == HTSYSMENU) {
    OpenSystemMenu(event->globalPos());
    event->accept();
    return;
  }
  QDialog::contextMenuEvent(event);
}

}  // namespace tw
