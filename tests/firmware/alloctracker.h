// Counts the heap blocks of operator new in this test program: the largest
// single request and the peak of live bytes since the last Reset.
#pragma once
#include <cstddef>

namespace tw::test {

struct AllocTracker {
  static void Reset();
  static std::size_t LargestRequest();
  static std::size_t PeakLiveBytes();  // above the live bytes at Reset
};

}  // namespace tw::test
