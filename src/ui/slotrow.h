// One armed slot's row under the main window's documented controls: the
// slot number, where its handset is plugged in, its COM port, the stage of
// its run, how the run ended (the reason as tooltip) and its time, over the
// slot's own text progress bar. A click on the row chooses the slot; the
// chosen row is drawn highlighted.
#pragma once
#include <QFrame>
#include <QString>

#include "ui/dialogunits.h"
#include "ui/slotrun.h"

class QLabel;

namespace tw {

class CTextProgressCtrl;

// The rows' place in the window, in dialog units: a line of column titles
// at the top, then one row per slot.
inline constexpr int kSlotRowsTitleHeight = 10;
inline constexpr int kSlotRowHeight = 24;

class CSlotRow : public QFrame {
  Q_OBJECT

 public:
  enum Column { kSlot, kLocation, kComPort, kStage, kOutcome, kElapsed, kColumnCount };

  CSlotRow(int nSlot, DialogBaseUnits base, QWidget* parent);

  // Shows the run's state; now is the tick its time runs to while it is open.
  void Show(const CSlotRun& run, std::uint32_t now);
  void SetChosen(bool bChosen);
  bool IsChosen() const { return m_bChosen; }

  int Slot() const { return m_nSlot; }
  QLabel* Cell(Column column) const { return m_cells[column]; }
  CTextProgressCtrl* Bar() const { return m_pBar; }

  // The column titles' line, made as a child of parent at (x, y) dialog units.
  static QWidget* CreateTitles(DialogBaseUnits base, QWidget* parent);

 signals:
  void clicked(int nSlot);

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  int m_nSlot;
  bool m_bChosen = false;
  QLabel* m_cells[kColumnCount] = {};
  CTextProgressCtrl* m_pBar = nullptr;
};

}  // namespace tw
