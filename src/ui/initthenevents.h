// The window's events handed on as they are, with one step added at the end
// of dialog initialisation (the image selections given on the command line:
// after the package is loaded, before any device event is handled).
#pragma once
#include <functional>
#include <utility>

#include "ui/tidewelldlgevents.h"

namespace tw {

class CInitThenEvents final : public ITidewellDlgEvents {
 public:
  CInitThenEvents(ITidewellDlgEvents& inner, std::function<void()> afterInit)
      : m_inner(inner), m_afterInit(std::move(afterInit)) {}

  BOOL OnInitDialog() override {
    BOOL bResult = m_inner.OnInitDialog();
    if (m_afterInit) m_afterInit();
    return bResult;
  }
  void OnStart() override { m_inner.OnStart(); }
  void OnStartDownload() override { m_inner.OnStartDownload(); }
  BOOL OnClose() override { return m_inner.OnClose(); }
  void DestroyWindow() override { m_inner.DestroyWindow(); }
  void OnDestroy() override { m_inner.OnDestroy(); }
  DownloadOwnerFlags& OwnerFlags() override { return m_inner.OwnerFlags(); }

 private:
  ITidewellDlgEvents& m_inner;
  std::function<void()> m_afterInit;
};

}  // namespace tw
