// A progress bar that draws its own fill and a text centred over it: the
// caption when one is set, else the percentage. Where the text crosses the
// end of the bar it changes colour, so it reads over both parts.
//
// The range and position live here, not in a platform control. Positions
// outside the range are not clamped: above the maximum the bar fills the
// control and shows more than 100%, below the minimum it shows no bar and a
// negative percentage. Every call belongs to the UI thread; worker threads
// reach the bar through a queued sink.
#pragma once
#include <QWidget>
#include <string>

#include "platform/wintypes.h"
#include "ui/colorref.h"

namespace tw {

class CTextProgressCtrl : public QWidget {
  Q_OBJECT

 public:
  explicit CTextProgressCtrl(QWidget* parent = nullptr);

  void SetFillColour(COLORREF colour);
  COLORREF GetFillColour() const { return m_colFore; }
  void SetBackgroundColour(COLORREF colour);
  COLORREF GetBackgroundColour() const { return m_colBk; }
  void SetTextColourOverBackground(COLORREF colour);
  COLORREF GetTextColourOverBackground() const { return m_colTextBk; }
  void SetTextColourOverBar(COLORREF colour);
  COLORREF GetTextColourOverBar() const { return m_colTextFore; }

  // Shows or hides the text; a change repaints the whole control.
  void SetTextVisible(BOOL bShow);
  BOOL IsTextVisible() const { return m_bShowText; }

  // Stores the range without redrawing.
  void SetRange(int nLower, int nUpper);
  int GetLower() const { return m_nMin; }
  int GetUpper() const { return m_nMax; }

  // Stores the position and returns the previous one. Redraws at once when
  // the bar's width in pixels changes, and only then.
  int SetPos(int nPos);
  int GetPos() const { return m_nPos; }
  int StepIt();
  int OffsetPos(int nPos);
  // Stores the step and returns the previous one.
  int SetStep(int nStep);

  // The caption drawn instead of the percentage; empty or null clears it.
  // A changed caption repaints, the same caption again does not.
  void SetWindowText(const char* text);
  // Copies at most size - 1 characters of the caption and a terminating
  // zero into buffer; returns the count copied (0 when size < 1).
  int GetWindowText(char* buffer, int size) const;
  int GetWindowTextLength() const { return static_cast<int>(m_strText.size()); }

  // A one-pixel frame around the control; the bar and text lie inside it.
  void SetBorder(bool bBorder);

  // Width in pixels of the bar at the last redraw; -1 after a resize.
  int BarWidth() const { return m_nBarWidth; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  double Fraction() const;
  int BarWidthFor(double fraction) const;
  QString DisplayText(double fraction) const;

  int m_nPos = 0;
  int m_nStepSize = 1;
  int m_nMax = 100;
  int m_nMin = 0;
  std::string m_strText;
  BOOL m_bShowText = TRUE;
  int m_nBarWidth = -1;
  COLORREF m_colFore;
  COLORREF m_colBk;
  COLORREF m_colTextFore;
  COLORREF m_colTextBk;
};

}  // namespace tw
