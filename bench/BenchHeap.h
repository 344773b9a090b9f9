#pragma once
// Benchmarks that build large scenes keep their heap, as the program that keeps building scenes
// does: without this the allocator hands memory back between runs and every run pays for the page
// faults again.

#include <malloc.h>

namespace benchheap {

inline const bool KeepHeap = [] {
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_TOP_PAD, 256 << 20);
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  return true;
}();

}  // namespace benchheap
