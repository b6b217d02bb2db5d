// What a run of the simulated handset saw and stored, and how it compares
// with the package: printed as one JSON object at the end of a run.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tw::sim {

enum class Side { Pda, Phone };

// Something the host sent that the protocol does not allow. The offset is
// the byte offset in the host's stream on that side where it began.
struct Violation {
  Side side = Side::Pda;
  std::uint64_t offset = 0;
  std::string what;
};

// A fault switch that fired, where it fired.
struct InjectedFault {
  std::string name;
  // The record, packet, region, block or byte it hit; for the reply delay
  // its milliseconds, for split replies the seed.
  std::uint64_t at = 0;
};

// "match", "mismatch", "missing" (a region never written) or "not-checked".
struct Verdict {
  std::string result = "not-checked";
  std::int64_t firstMismatch = -1;  // offset of the first differing byte, -1 when none
};

struct ImageSummary {
  std::uint64_t announced = 0;  // size the host announced
  std::uint64_t received = 0;   // image bytes stored
  Verdict verify;
};

struct RegionSummary {
  int index = 0;  // 1-based region number in the host's order
  std::uint32_t start = 0;
  std::uint32_t length = 0;             // length announced by the erase
  std::uint32_t blocks = 0;             // blocks received
  std::string erase = "none";           // "ack", "nak" or "none" (no erase, e.g. EFS)
  bool efsCommand = false;              // the EFS command came in this region
  Verdict verify;                       // against the phone image, up to its end
  std::uint32_t pastEndBytes = 0;       // bytes of the last block beyond the image
  std::string pastEnd = "not-checked";  // "match", "mismatch" or "not-checked"
};

struct SimSummary {
  // The handset's location; printed only when it has one.
  std::string location;
  // "finish", "phone-done", "host-closed", "disconnected", "timeout", "stopped".
  std::string end = "stopped";
  ImageSummary eboot;
  ImageSummary os;
  // announced: the size PDA_CMD_PHONE_MODE carried; received: the bytes of
  // the blocks; verify: all regions together, at the first differing address.
  ImageSummary phone;
  std::vector<RegionSummary> regions;
  std::vector<Violation> violations;
  std::vector<InjectedFault> faults;
  bool verified = false;      // a package was compared
  bool verifyPassed = false;  // every compared image and region matched

  std::string ToJson() const;
};

// Thread-safe collector of a run's findings.
class SimRecorder {
 public:
  void Violate(Side side, std::uint64_t offset, std::string what);
  void Fault(std::string name, std::uint64_t at);
  // Runs fn on the summary under the lock.
  template <typename Fn>
  void Update(Fn&& fn) {
    std::lock_guard guard(m_lock);
    fn(m_summary);
  }
  SimSummary Snapshot() const;

 private:
  mutable std::mutex m_lock;
  SimSummary m_summary;
};

}  // namespace tw::sim
