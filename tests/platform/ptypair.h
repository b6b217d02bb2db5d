// A pseudo-terminal for tests: the test plays the device on the master side,
// the code under test opens the slave path like a serial device.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace tw::test {

class PtyPair {
 public:
  PtyPair() {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0) {
      m_slavePath = ptsname(m_master);
    }
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;
  ~PtyPair() { CloseMaster(); }

  bool Ok() const { return m_master >= 0 && !m_slavePath.empty(); }
  const std::string& SlavePath() const { return m_slavePath; }
  int Master() const { return m_master; }

  // The device goes away: the slave side sees a hang-up.
  void CloseMaster() {
    if (m_master >= 0) {
      close(m_master);
      m_master = -1;
    }
  }

  bool Send(const std::vector<unsigned char>& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      ssize_t put = write(m_master, bytes.data() + done, bytes.size() - done);
      if (put <= 0) {
        return false;
      }
      done += static_cast<std::size_t>(put);
    }
    return true;
  }

  // Reads from the master until n bytes came or waitMs passed without any.
  std::vector<unsigned char> Receive(std::size_t n, int waitMs = 2000) const {
    std::vector<unsigned char> got;
    unsigned char chunk[4096];
    while (got.size() < n) {
      pollfd p{m_master, POLLIN, 0};
      if (poll(&p, 1, waitMs) <= 0 || !(p.revents & POLLIN)) {
        break;
      }
      ssize_t r = read(m_master, chunk, std::min(sizeof chunk, n - got.size()));
      if (r <= 0) {
        break;
      }
      got.insert(got.end(), chunk, chunk + r);
    }
    return got;
  }

 private:
  int m_master = -1;
  std::string m_slavePath;
};

// Every byte value 0x00..0xFF, twice, with the line-editing bytes (CR, LF,
// XON, XOFF, ^C, ^D, DEL) also in runs where a cooked tty would act on them.
inline std::vector<unsigned char> AllByteValues() {
  std::vector<unsigned char> bytes;
  for (int round = 0; round < 2; ++round) {
    for (int v = 0; v < 256; ++v) {
      bytes.push_back(static_cast<unsigned char>(round == 0 ? v : 255 - v));
    }
  }
  for (unsigned char c : {0x0D, 0x0A, 0x0D, 0x0D, 0x11, 0x13, 0x03, 0x04, 0x7F, 0x1A, 0x1C, 0x15, 0x17}) {
    bytes.push_back(c);
  }
  return bytes;
}

// A private directory, removed with its entries at the end.
class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/tw-test-XXXXXX";
    if (mkdtemp(name)) {
      m_path = name;
    }
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  const std::string& Path() const { return m_path; }
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }
  bool Link(const std::string& name, const std::string& target) const {
    return symlink(target.c_str(), (*this / name).c_str()) == 0;
  }

 private:
  std::string m_path;
};

}  // namespace tw::test
