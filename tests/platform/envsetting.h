// Sets an environment variable before the first test of a test program runs,
// so that a tunable read once per process takes the test's value:
//   [[maybe_unused]] ::testing::Environment* const kQuiet =
//       ::testing::AddGlobalTestEnvironment(new EnvSetting("TIDEWELL_REPLY_QUIET_MS", "200"));
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

namespace tw::test {

class EnvSetting final : public ::testing::Environment {
 public:
  EnvSetting(std::string name, std::string value) : m_name(std::move(name)), m_value(std::move(value)) {}
  void SetUp() override { setenv(m_name.c_str(), m_value.c_str(), 1); }

 private:
  std::string m_name;
  std::string m_value;
};

}  // namespace tw::test
