// The dialog base of the window classes: a template id, an initialisation
// hook that runs once before the dialog first shows, the OK and Cancel
// handlers, and a modal run that answers IDOK or IDCANCEL.
#pragma once
#include <QDialog>
#include <span>

#include "platform/wintypes.h"
#include "ui/dialogtemplate.h"
#include "ui/dialogunits.h"

namespace tw {

class CDialog : public QDialog {
  Q_OBJECT

 public:
  enum { IDOK = 1, IDCANCEL = 2 };

  explicit CDialog(int nIDTemplate, QWidget* pParent = nullptr);

  int GetTemplateId() const { return m_nIDTemplate; }
  // Runs the dialog modally; IDOK when it ended through OK, else IDCANCEL.
  virtual int DoModal();
  // The base units of the dialog's font, for its template.
  DialogBaseUnits BaseUnits() const { return m_baseUnits; }
  // Sizes the window so that its client area gets this size.
  virtual void SetClientSize(QSize client) { setFixedSize(client); }

 protected:
  // Runs once, before the dialog first shows.
  virtual BOOL OnInitDialog() { return TRUE; }
  // Ends the dialog as OK (IDOK). Escape and the close box end it as
  // Cancel (IDCANCEL).
  virtual void OnOK() { accept(); }

  // Lays out a template: the dialog's font, its client size and its
  // controls, all in dialog units, into parent (the dialog by default).
  void CreateTemplate(int cx, int cy, std::span<const ControlTemplate> rows, QWidget* parent = nullptr);

  void showEvent(QShowEvent* event) override;

 private:
  int m_nIDTemplate;
  bool m_bInitialised = false;
  DialogBaseUnits m_baseUnits;
};

}  // namespace tw
