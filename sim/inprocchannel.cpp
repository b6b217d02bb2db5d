#include "sim/inprocchannel.h"

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/guid.h"
#include "sim/inproclink.h"

namespace tw::sim {

namespace {

// The device interface class of the handset's USB download interface,
// {25DBCE51-6C8F-4A72-8A6D-B54C2B4FC835}.
constexpr GUID kPdaDownloadInterface = {
    0x25DBCE51, 0x6C8F, 0x4A72, {0x8A, 0x6D, 0xB5, 0x4C, 0x2B, 0x4F, 0xC8, 0x35}};

// "COM7", "COM7:" or "\\.\COM7" -> 7; 0 when the name is none of these.
int ComNumber(std::string name) {
  if (name.rfind("\\\\.\\", 0) == 0) {
    name.erase(0, 4);
  }
  if (!name.empty() && name.back() == ':') {
    name.pop_back();
  }
  if (name.size() < 4 || name.compare(0, 3, "COM") != 0) {
    return 0;
  }
  char* end = nullptr;
  long n = std::strtol(name.c_str() + 3, &end, 10);
  return (*end == '\0' && n > 0 && n < 1000000) ? static_cast<int>(n) : 0;
}

DeviceEvent PdaEvent(DeviceEvent::Action action) {
  return {action, DeviceEvent::Kind::Other, kInProcPdaEventName};
}

DeviceEvent ComEvent(DeviceEvent::Action action, int n) {
  return {action, DeviceEvent::Kind::Port, "COM" + std::to_string(n)};
}

}  // namespace

class InProcEventSource;

// The devices present and the event sources listening, shared by the
// channel, its devices and its ports.
struct InProcState {
  std::mutex lock;
  std::shared_ptr<InProcLink> pda;
  std::map<int, std::shared_ptr<InProcLink>> coms;
  std::vector<InProcEventSource*> sources;

  // Both with the lock held.
  void PostLocked(const DeviceEvent& event);
  std::vector<DeviceEvent> PresentLocked() const;
};

// Reports the channel's device events on its own thread, in order.
class InProcEventSource final : public IDeviceEventSource {
 public:
  explicit InProcEventSource(std::shared_ptr<InProcState> state) : m_state(std::move(state)) {}
  ~InProcEventSource() override { Stop(); }

  bool Start(Sink sink) override {
    std::lock_guard stateGuard(m_state->lock);
    std::lock_guard guard(m_lock);
    if (m_thread.joinable()) {
      return false;
    }
    m_queue.clear();
    for (const DeviceEvent& event : m_state->PresentLocked()) {
      m_queue.push_back(event);
    }
    m_state->sources.push_back(this);
    m_thread = std::jthread([this, sink = std::move(sink)](std::stop_token stop) { Deliver(stop, sink); });
    return true;
  }

  void Stop() override {
    {
      std::lock_guard stateGuard(m_state->lock);
      std::erase(m_state->sources, this);
    }
    std::jthread thread;
    {
      std::lock_guard guard(m_lock);
      thread = std::move(m_thread);
    }
    if (thread.joinable()) {
      thread.request_stop();
      thread.join();
    }
  }

  // Called with the state's lock held.
  void Post(const DeviceEvent& event) {
    std::lock_guard guard(m_lock);
    m_queue.push_back(event);
    m_ready.notify_all();
  }

 private:
  void Deliver(std::stop_token stop, const Sink& sink) {
    std::unique_lock guard(m_lock);
    while (true) {
      m_ready.wait(guard, stop, [this] { return !m_queue.empty(); });
      if (stop.stop_requested()) {
        return;
      }
      DeviceEvent event = std::move(m_queue.front());
      m_queue.pop_front();
      guard.unlock();
      sink(event);
      guard.lock();
    }
  }

  std::shared_ptr<InProcState> m_state;
  std::mutex m_lock;
  std::condition_variable_any m_ready;
  std::deque<DeviceEvent> m_queue;
  std::jthread m_thread;
};

void InProcState::PostLocked(const DeviceEvent& event) {
  for (InProcEventSource* source : sources) {
    source->Post(event);
  }
}

std::vector<DeviceEvent> InProcState::PresentLocked() const {
  std::vector<DeviceEvent> present;
  if (pda) {
    present.push_back(PdaEvent(DeviceEvent::Action::Arrival));
  }
  for (const auto& [n, link] : coms) {
    present.push_back(ComEvent(DeviceEvent::Action::Arrival, n));
  }
  return present;
}

namespace {

// The host's end of one connection.
class InProcDevice final : public IByteDevice {
 public:
  explicit InProcDevice(std::shared_ptr<InProcLink> link) : m_link(std::move(link)) {}
  ~InProcDevice() override { m_link->HostClose(); }

  long BytesWaiting() override { return m_link->HostWaiting(); }
  int WaitReceive(int timeoutMs) override { return m_link->HostWaitReceive(timeoutMs); }
  long Read(void* dst, std::size_t n) override {
    return m_link->HostRead(static_cast<std::uint8_t*>(dst), n);
  }
  bool Write(const void* src, std::size_t n, int) override {
    return m_link->HostWrite(static_cast<const std::uint8_t*>(src), n);
  }
  void Purge() override { m_link->HostPurge(); }

 private:
  std::shared_ptr<InProcLink> m_link;
};

// The handset's end; destroying it withdraws the device and reports the removal.
class InProcSimPort final : public ISimPort {
 public:
  InProcSimPort(std::shared_ptr<InProcState> state, std::shared_ptr<InProcLink> link, int com)
      : m_state(std::move(state)), m_link(std::move(link)), m_com(com) {}
  ~InProcSimPort() override {
    m_link->Withdraw();
    std::lock_guard guard(m_state->lock);
    if (m_com == 0) {
      m_state->pda.reset();
    } else {
      m_state->coms.erase(m_com);
    }
    m_state->PostLocked(m_com == 0 ? PdaEvent(DeviceEvent::Action::Removal)
                                   : ComEvent(DeviceEvent::Action::Removal, m_com));
  }

  bool WaitOpened(int timeoutMs) override { return m_link->SimWaitOpened(timeoutMs); }
  long Receive(std::uint8_t* dst, std::size_t n, int timeoutMs) override {
    return m_link->SimReceive(dst, n, timeoutMs);
  }
  bool Send(const std::uint8_t* src, std::size_t n) override { return m_link->SimSend(src, n); }
  bool WaitDrained(int timeoutMs) override { return m_link->SimWaitDrained(timeoutMs); }

 private:
  std::shared_ptr<InProcState> m_state;
  std::shared_ptr<InProcLink> m_link;
  int m_com;  // 0 for the PDA interface
};

class InProcProvider final : public IDeviceProvider {
 public:
  explicit InProcProvider(std::shared_ptr<InProcState> state) : m_state(std::move(state)) {}

  std::vector<std::string> EnumerateInterfaces(const GUID& cls) override {
    std::lock_guard guard(m_state->lock);
    if (cls == kPdaDownloadInterface && m_state->pda) {
      return {kInProcPdaPath};
    }
    return {};
  }

  std::unique_ptr<IByteDevice> OpenInterface(const std::string& path, std::string* error) override {
    std::shared_ptr<InProcLink> link;
    {
      std::lock_guard guard(m_state->lock);
      if (path == kInProcPdaPath) {
        link = m_state->pda;
      }
    }
    return Open(link, path, error);
  }

  std::unique_ptr<IByteDevice> OpenPort(const std::string& name, std::string* error) override {
    std::shared_ptr<InProcLink> link;
    {
      std::lock_guard guard(m_state->lock);
      auto found = m_state->coms.find(ComNumber(name));
      if (found != m_state->coms.end()) {
        link = found->second;
      }
    }
    return Open(link, name, error);
  }

 private:
  static std::unique_ptr<IByteDevice> Open(const std::shared_ptr<InProcLink>& link, const std::string& name,
                                           std::string* error) {
    if (!link || !link->Present()) {
      if (error) {
        *error = name + ": no such device";
      }
      return nullptr;
    }
    if (!link->TryOpen()) {
      if (error) {
        *error = name + ": device busy";
      }
      return nullptr;
    }
    return std::make_unique<InProcDevice>(link);
  }

  std::shared_ptr<InProcState> m_state;
};

}  // namespace

InProcChannel::InProcChannel()
    : m_state(std::make_shared<InProcState>()),
      m_provider(std::make_unique<InProcProvider>(m_state)),
      m_events(std::make_unique<InProcEventSource>(m_state)) {}

InProcChannel::~InProcChannel() = default;

IDeviceProvider& InProcChannel::Provider() {
  return *m_provider;
}

IDeviceEventSource& InProcChannel::Events() {
  return *m_events;
}

std::unique_ptr<IDeviceEventSource> InProcChannel::NewEventSource() {
  return std::make_unique<InProcEventSource>(m_state);
}

std::unique_ptr<ISimPort> InProcChannel::AnnouncePda() {
  auto link = std::make_shared<InProcLink>();
  {
    std::lock_guard guard(m_state->lock);
    if (m_state->pda) {
      return nullptr;
    }
    m_state->pda = link;
    m_state->PostLocked(PdaEvent(DeviceEvent::Action::Arrival));
  }
  return std::make_unique<InProcSimPort>(m_state, link, 0);
}

std::unique_ptr<ISimPort> InProcChannel::AnnounceCom(int n) {
  if (n <= 0) {
    return nullptr;
  }
  auto link = std::make_shared<InProcLink>();
  {
    std::lock_guard guard(m_state->lock);
    if (!m_state->coms.emplace(n, link).second) {
      return nullptr;
    }
    m_state->PostLocked(ComEvent(DeviceEvent::Action::Arrival, n));
  }
  return std::make_unique<InProcSimPort>(m_state, link, n);
}

}  // namespace tw::sim
