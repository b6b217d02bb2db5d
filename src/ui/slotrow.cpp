#include "ui/slotrow.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPalette>

#include "ui/colorref.h"
#include "ui/textprogressctrl.h"

namespace tw {

namespace {

// The columns of the row's first line, in dialog units from the row's left.
struct ColumnPlace {
  const char* title;
  int x, cx;
  Qt::Alignment align;
};
constexpr ColumnPlace kColumns[CSlotRow::kColumnCount] = {
    {"Slot", 2, 14, Qt::AlignLeft},      {"Location", 18, 50, Qt::AlignLeft},
    {"COM port", 70, 38, Qt::AlignLeft}, {"Stage", 110, 50, Qt::AlignLeft},
    {"Outcome", 162, 32, Qt::AlignLeft}, {"Time", 194, 25, Qt::AlignRight},
};
constexpr int kRowWidth = 221;
constexpr int kLineTop = 1;
constexpr int kLineHeight = 9;
constexpr int kBarLeft = 2;
constexpr int kBarTop = 11;
constexpr int kBarWidth = 217;
constexpr int kBarHeight = 11;

constexpr COLORREF kChosenBackground = RGB(204, 228, 247);

QLabel* MakeCell(QWidget* parent, const ColumnPlace& place, int y, int cy, DialogBaseUnits base) {
  auto* label = new QLabel(parent);
  label->setAlignment(place.align | Qt::AlignVCenter);
  label->setGeometry(MapDialogRect(QRect(place.x, y, place.cx, cy), base));
  return label;
}

COLORREF OutcomeColour(std::optional<RunOutcome> outcome) {
  if (!outcome) return RGB(0, 0, 0);
  switch (*outcome) {
    case RunOutcome::Done:
      return RGB(0, 110, 0);
    case RunOutcome::Failed:
      return RGB(190, 0, 0);
    case RunOutcome::Stopped:
      return RGB(150, 90, 0);
  }
  return RGB(0, 0, 0);
}

void SetText(QLabel* label, const std::string& text) {
  const QString value = QString::fromStdString(text);
  if (label->text() != value) label->setText(value);
}

}  // namespace

CSlotRow::CSlotRow(int nSlot, DialogBaseUnits base, QWidget* parent) : QFrame(parent), m_nSlot(nSlot) {
  resize(MapDialogRect(QRect(0, 0, kRowWidth, kSlotRowHeight), base).size());
  setAutoFillBackground(true);
  setCursor(Qt::PointingHandCursor);
  setToolTip(tr("Click to show this slot's log"));
  for (int c = 0; c < kColumnCount; ++c) {
    m_cells[c] = MakeCell(this, kColumns[c], kLineTop, kLineHeight, base);
  }
  m_cells[kSlot]->setText(QString::number(nSlot));
  m_pBar = new CTextProgressCtrl(this);
  m_pBar->SetBorder(true);
  m_pBar->setGeometry(MapDialogRect(QRect(kBarLeft, kBarTop, kBarWidth, kBarHeight), base));
  SetChosen(false);
}

QWidget* CSlotRow::CreateTitles(DialogBaseUnits base, QWidget* parent) {
  auto* titles = new QWidget(parent);
  titles->resize(MapDialogRect(QRect(0, 0, kRowWidth, kSlotRowsTitleHeight), base).size());
  for (const ColumnPlace& place : kColumns) {
    MakeCell(titles, place, 0, kSlotRowsTitleHeight, base)->setText(tr(place.title));
  }
  return titles;
}

void CSlotRow::Show(const CSlotRun& run, std::uint32_t now) {
  SetText(m_cells[kLocation], run.LocationText());
  SetText(m_cells[kComPort], run.ComPortText());
  SetText(m_cells[kStage], run.StageText());
  SetText(m_cells[kOutcome], run.OutcomeText());
  SetText(m_cells[kElapsed], run.ElapsedText(now));
  m_cells[kOutcome]->setToolTip(QString::fromStdString(run.OutcomeDetail()));
  QPalette palette = m_cells[kOutcome]->palette();
  palette.setColor(QPalette::WindowText, ToQColor(OutcomeColour(run.Outcome())));
  m_cells[kOutcome]->setPalette(palette);
}

void CSlotRow::SetChosen(bool bChosen) {
  m_bChosen = bChosen;
  QPalette palette = parentWidget() != nullptr ? parentWidget()->palette() : QPalette();
  if (bChosen) palette.setColor(QPalette::Window, ToQColor(kChosenBackground));
  setPalette(palette);
  setFrameShape(bChosen ? QFrame::Box : QFrame::NoFrame);
}

void CSlotRow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    emit clicked(m_nSlot);
    event->accept();
    return;
  }
  QFrame::mousePressEvent(event);
}

}  // namespace tw
