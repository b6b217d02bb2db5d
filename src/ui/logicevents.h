// The main window's events handed on to the dialog's logic.
#pragma once
#include "app/tidewelldlglogic.h"
#include "ui/tidewelldlgevents.h"

namespace tw {

class CTidewellDlgLogicEvents final : public ITidewellDlgEvents {
 public:
  explicit CTidewellDlgLogicEvents(CTidewellDlgLogic& logic) : m_logic(logic) {}

  BOOL OnInitDialog() override { return m_logic.OnInitDialog(); }
  void OnStart() override { m_logic.OnStart(); }
  void OnStartDownload() override { m_logic.OnStartDownload(); }
  BOOL OnClose() override { return m_logic.OnClose(); }
  void DestroyWindow() override { m_logic.DestroyWindow(); }
  void OnDestroy() override { m_logic.OnDestroy(); }
  DownloadOwnerFlags& OwnerFlags() override { return m_logic.OwnerFlags(); }

 private:
  CTidewellDlgLogic& m_logic;
};

}  // namespace tw
