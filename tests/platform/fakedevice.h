// An in-memory byte device and provider for tests that need a device to
// misbehave in ways a pseudo-terminal cannot (a queue beyond 4 KiB, a device
// that fails while it is set up, an open refused as busy).
#pragma once
#include <cerrno>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/deviceprovider.h"

namespace tw::test {

struct FakeDeviceState {
  std::mutex lock;
  std::deque<unsigned char> rx;     // bytes the device has sent
  std::vector<unsigned char> tx;    // bytes written to the device
  bool gone = false;                // every call fails
  bool destroyed = false;           // the owner let the device go
  std::vector<int> readSizes;       // n of every Read call
  bool wholeMessages = false;       // delivers every message in one piece
  std::vector<int> waits;           // timeoutMs of every WaitReceive call
  std::function<void(int)> onWait;  // runs in each WaitReceive, e.g. to move a test's clock
};

class FakeDevice final : public IByteDevice {
 public:
  explicit FakeDevice(std::shared_ptr<FakeDeviceState> state) : m_state(std::move(state)) {}
  ~FakeDevice() override {
    std::lock_guard guard(m_state->lock);
    m_state->destroyed = true;
  }
  long BytesWaiting() override {
    std::lock_guard guard(m_state->lock);
    return m_state->gone ? -1 : static_cast<long>(m_state->rx.size());
  }
  int WaitReceive(int timeoutMs) override {
    std::function<void(int)> onWait;
    {
      std::lock_guard guard(m_state->lock);
      m_state->waits.push_back(timeoutMs);
      onWait = m_state->onWait;
    }
    if (onWait) {
      onWait(timeoutMs);
    }
    std::lock_guard guard(m_state->lock);
    return m_state->gone ? -1 : (m_state->rx.empty() ? 0 : 1);
  }
  long Read(void* dst, std::size_t n) override {
    std::lock_guard guard(m_state->lock);
    if (m_state->gone) {
      return -1;
    }
    m_state->readSizes.push_back(static_cast<int>(n));
    std::size_t take = std::min(n, m_state->rx.size());
    auto* out = static_cast<unsigned char*>(dst);
    for (std::size_t i = 0; i < take; ++i) {
      out[i] = m_state->rx.front();
      m_state->rx.pop_front();
    }
    return static_cast<long>(take);
  }
  bool Write(const void* src, std::size_t n, int) override {
    std::lock_guard guard(m_state->lock);
    if (m_state->gone) {
      return false;
    }
    const auto* in = static_cast<const unsigned char*>(src);
    m_state->tx.insert(m_state->tx.end(), in, in + n);
    return true;
  }
  void Purge() override {
    std::lock_guard guard(m_state->lock);
    m_state->rx.clear();
  }
  bool DeliversWholeMessages() const override {
    std::lock_guard guard(m_state->lock);
    return m_state->wholeMessages;
  }

 private:
  std::shared_ptr<FakeDeviceState> m_state;
};

// Hands out one fake device per open; opens fail with the queued errno values first.
class FakeProvider final : public IDeviceProvider {
 public:
  std::vector<int> failures;        // errno of each refused open, in order
  std::vector<std::string> opened;  // every name asked for
  std::vector<std::string> interfaces;
  std::vector<std::shared_ptr<FakeDeviceState>> devices;  // one per successful open
  bool goneAtOpen = false;                                // the device fails from the start

  std::vector<std::string> EnumerateInterfaces(const GUID&) override { return interfaces; }
  std::unique_ptr<IByteDevice> OpenInterface(const std::string& path, std::string* error) override {
    return OpenPort(path, error);
  }
  std::unique_ptr<IByteDevice> OpenPort(const std::string& name, std::string* error) override {
    opened.push_back(name);
    if (opened.size() <= failures.size()) {
      errno = failures[opened.size() - 1];
      if (error) {
        *error = name + ": refused";
      }
      return nullptr;
    }
    auto state = std::make_shared<FakeDeviceState>();
    state->gone = goneAtOpen;
    devices.push_back(state);
    return std::make_unique<FakeDevice>(state);
  }
};

}  // namespace tw::test
