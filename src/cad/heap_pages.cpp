#include "cad/heap_pages.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace tolvane::cad {

namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t(2) << 20;
// How far past its need the heap grows at a time while a large read runs, and after it (the
// C library's default).
constexpr int kLargeTopPad = 64 << 20;
constexpr int kDefaultTopPad = 128 << 10;

std::uintptr_t heapEnd() {
    return reinterpret_cast<std::uintptr_t>(sbrk(0));
}

}  // namespace

HugeHeapPages::HugeHeapPages() {
    // The main heap is the first thread's.
    if (gettid() != getpid()) return;
    on_ = true;
    // Huge pages start at the next 2 MB boundary: the page the heap ends in now may hold
    // memory in use.
    advisedTo_ = (heapEnd() + kHugePage - 1) & ~(kHugePage - 1);
    mallopt(M_TOP_PAD, kLargeTopPad);
}

HugeHeapPages::~HugeHeapPages() {
    if (!on_) return;
    advise();
    mallopt(M_TOP_PAD, kDefaultTopPad);
}

void HugeHeapPages::advise() {
    if (!on_) return;
    const std::uintptr_t end = heapEnd() & ~(kHugePage - 1);
    if (end <= advisedTo_) return;
    madvise(reinterpret_cast<void*>(advisedTo_), end - advisedTo_, MADV_HUGEPAGE);
    advisedTo_ = end;
}

}  // namespace tolvane::cad
