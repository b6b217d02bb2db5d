// Replaces the global operator new and delete to watch the allocations the
// code under test makes (a header that claims 4 GiB must not ask for it).
#include "tests/firmware/alloctracker.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace tw::test {

namespace {

// The size the allocator gave a block (MinGW's C runtime calls it _msize).
std::size_t UsableSize(void* p) {
#if defined(_WIN32)
  return _msize(p);
#else
  return malloc_usable_size(p);
#endif
}

std::atomic<std::size_t> g_largest{0};
std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_base{0};
std::atomic<std::size_t> g_peak{0};

void* Allocate(std::size_t n) {
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) {
    return nullptr;
  }
  std::size_t largest = g_largest.load();
  while (n > largest && !g_largest.compare_exchange_weak(largest, n)) {
  }
  const std::size_t live = g_live.fetch_add(UsableSize(p)) + UsableSize(p);
  std::size_t peak = g_peak.load();
  while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
  }
  return p;
}

void Release(void* p) {
  if (p != nullptr) {
    g_live.fetch_sub(UsableSize(p));
    std::free(p);
  }
}

}  // namespace

void AllocTracker::Reset() {
  g_largest = 0;
  g_base = g_live.load();
  g_peak = g_live.load();
}

std::size_t AllocTracker::LargestRequest() {
  return g_largest;
}

std::size_t AllocTracker::PeakLiveBytes() {
  return g_peak - g_base;
}

}  // namespace tw::test

void* operator new(std::size_t n) {
  if (void* p = tw::test::Allocate(n)) {
    return p;
  }
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
  return operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  return tw::test::Allocate(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  return tw::test::Allocate(n);
}
void operator delete(void* p) noexcept {
  tw::test::Release(p);
}
void operator delete[](void* p) noexcept {
  tw::test::Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
  tw::test::Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  tw::test::Release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  tw::test::Release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  tw::test::Release(p);
}
