// The handset over pseudo-terminals announced in a device directory: the
// PDA interface as the entry "pda0", the modem port as "COM<n>", each a
// symbolic link to a raw pty slave whose master the handset holds. A handset
// with a location names them "pda@LOC" and "COM<n>@LOC", so that several
// handsets can share one directory.
//
// Whether the host has the slave open is read from the master side: after
// the slave's last close the master reports a hang-up until the slave is
// opened again. The transport opens and closes the slave once itself (to set
// it raw), so the hang-up is set from the start and its clearing is the
// host's open.
#pragma once
#include <string>

#include "sim/simport.h"

namespace tw::sim {

class PtyTransport final : public ISimTransport {
 public:
  explicit PtyTransport(std::string deviceDir, std::string location = {})
      : m_dir(std::move(deviceDir)), m_location(std::move(location)) {}

  std::unique_ptr<ISimPort> AnnouncePda() override;
  std::unique_ptr<ISimPort> AnnounceCom(int n) override;

  // The entry names in the directory: "pda0" and "COM<n>", or with the location.
  std::string PdaEntry() const;
  std::string ComEntry(int n) const;
  // Whether the directory holds an entry of that name (another handset's port, say).
  bool HasEntry(const std::string& name) const;

  // Why the last announcement failed.
  const std::string& LastError() const { return m_error; }

 private:
  std::unique_ptr<ISimPort> Announce(const std::string& entry);

  std::string m_dir;
  std::string m_location;
  std::string m_error;
};

}  // namespace tw::sim
