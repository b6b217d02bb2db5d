// A dialog on a frameless window that draws its own caption: a coloured
// band with a dark inner strip, an icon and the title at the left, and close
// and minimise buttons at the right that react to the mouse.
//
// The window is laid out like a framed dialog: an edge of kCaptionEdge pixels
// around the client area and the caption above it. Controls go into
// ClientArea(), in client coordinates. The caption opens the system menu (a
// right click, or a click on the icon), and dragging it moves the window.
#pragma once
#include <QImage>
#include <QPoint>
#include <QString>

#include "platform/wintypes.h"
#include "ui/captiongeometry.h"
#include "ui/colorref.h"
#include "ui/dialog.h"

class QMenu;
class QAction;

namespace tw {

// System commands of the system menu.
inline constexpr UINT SC_MINIMIZE = 0xF020;
inline constexpr UINT SC_CLOSE = 0xF060;

// Hit-test codes of window points.
inline constexpr int HTNOWHERE = 0;
inline constexpr int HTCLIENT = 1;
inline constexpr int HTCAPTION = 2;
inline constexpr int HTSYSMENU = 3;
inline constexpr int HTBORDER = 18;

class CDrawH2Dlg : public CDialog {
  Q_OBJECT

 public:
  explicit CDrawH2Dlg(int nIDTemplate, QWidget* pParent = nullptr);
  ~CDrawH2Dlg() override;

  // Whether the minimise button is drawn and active.
  void ShowMinimizeButton(BOOL bShow);

  // The window's system menu. The dialog appends its own items; an item
  // added with AppendSysCommand reaches OnSysCommand with its id.
  QMenu* GetSystemMenu() const { return m_pSysMenu; }
  QAction* AppendSysCommand(const QString& text, UINT nID);
  // Opens the system menu at a screen position.
  void OpenSystemMenu(QPoint globalPos);

  // Where the controls go, in client coordinates.
  QWidget* ClientArea() const { return m_pClientArea; }
  // Sizes the window so that its client area gets this size.
  void SetClientSize(QSize client) override;

  // The caption's rectangles of the last layout, in window coordinates.
  WinRect CloseRect() const { return m_rcClose; }
  WinRect MinimizeRect() const { return m_rcMinimize; }
  WinRect IconRect() const { return m_rcIcon; }
  BOOL IsButtonPressed() const { return m_bPressed; }
  int PressedButton() const { return m_nPressedButton; }

  // The caption's mouse handling, in window coordinates.
  void OnNcLButtonDown(QPoint pt);
  void OnNcLButtonUp(QPoint pt);
  int OnNcHitTest(QPoint pt);

 protected:
  // Loads the glyphs, clears the pressed and show-minimise flags and sets
  // the caption colours.
  BOOL OnInitDialog() override;
  // The system menu's commands: minimise and close here; others are ignored.
  virtual void OnSysCommand(UINT nID, LPARAM lParam);
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  // Alt+Space opens the system menu under the caption's icon.
  void keyPressEvent(QKeyEvent* event) override;

  // The frame under the caption: the window's background and a raised edge.
  void PaintFrame(QPainter& painter);
  void PaintCaption(QPainter& painter);

 private:
  enum { kCloseButton = 0, kMinimizeButton = 1 };

  void LayoutCaption();
  void RepaintCaption();
  void PaintButton(QPainter& painter, const WinRect& rect, const QImage& glyph, bool pushed);
  void StartWindowDrag(QPoint globalPos);
  QPoint SystemMenuPosition() const;
  QFont TitleFont() const;

  QWidget* m_pClientArea;
  QMenu* m_pSysMenu;

  WinRect m_rcIcon;
  WinRect m_rcClose;
  WinRect m_rcMinimize;
  int m_nStripRight = 0;
  QImage m_bmpIcon;
  QImage m_bmpClose;
  QImage m_bmpMinimize;
  COLORREF m_colCaption = 0;
  COLORREF m_colOutline = 0;
  COLORREF m_colStrip = 0;
  COLORREF m_colTitle = 0;
  BOOL m_bPressed = FALSE;
  int m_nPressedButton = kCloseButton;
  BOOL m_bShowMinimize = FALSE;

  // Moving the window by hand where the platform cannot move it itself.
  bool m_bDragging = false;
  QPoint m_dragOffset;
};

}  // namespace tw
