// The replaceable allocation functions, all on malloc and free, so that a
// sanitizer's own new or delete never meets memory of the other kind.

#include "FailingNew.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<int> g_countdown{0};
std::atomic<bool> g_failed{false};

bool FailsNow() noexcept {
  int left = g_countdown.load(std::memory_order_relaxed);
  while (left > 0) {
    if (g_countdown.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
      if (left != 1) return false;
      g_failed = true;
      return true;
    }
  }
  return false;
}

void* Allocate(std::size_t size) {
  if (FailsNow()) throw std::bad_alloc();
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

}  // namespace

namespace mivotra::test {

void FailNthNew(int nth) {
  g_failed = false;
  g_countdown = nth;
}

void StopFailingNew() {
  g_countdown = 0;
}

bool NewHasFailed() {
  return g_failed;
}

}  // namespace mivotra::test

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete[](void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
  std::free(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
  std::free(memory);
}
