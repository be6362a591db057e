#include "cad/heap_pages.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

namespace tolvane::cad {

namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t(2) << 20;
// How far past its need the heap grows at a time while a large read runs, and after it (the
// C library's default).
constexpr int kLargeTopPad = 64 << 20;
constexpr int kDefaultTopPad = 128 << 10;
// A heap of a thread other than the first: reserved at this size and aligned to it (the C
// library's largest heap on 64-bit systems).
constexpr std::uintptr_t kThreadHeap = std::uintptr_t(64) << 20;
// A block larger than any the C library keeps aside per thread: it comes from the thread's
// own heap.
constexpr size_t kProbe = 4096;

std::uintptr_t heapEnd() {
    return reinterpret_cast<std::uintptr_t>(sbrk(0));
}

// The large steps are the C library's, for every heap: they last while any HugeHeapPages
// lives.
std::mutex stepsLock;
int stepsHeld = 0;

void holdLargeSteps() {
    const std::lock_guard lock(stepsLock);
    if (stepsHeld++ == 0) mallopt(M_TOP_PAD, kLargeTopPad);
}

void releaseLargeSteps() {
    const std::lock_guard lock(stepsLock);
    if (--stepsHeld == 0) mallopt(M_TOP_PAD, kDefaultTopPad);
}

}  // namespace

void adviseHugePages(void* begin, std::size_t bytes) {
    const std::uintptr_t first = (std::uintptr_t(begin) + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (std::uintptr_t(begin) + bytes) & ~(kHugePage - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

HugeHeapPages::HugeHeapPages() {
#ifdef __GLIBC__
    on_ = true;
    main_ = gettid() == getpid();
    // Huge pages of the main heap start at the next 2 MB boundary: the page the heap ends in
    // now may hold memory in use.
    if (main_) advisedTo_ = (heapEnd() + kHugePage - 1) & ~(kHugePage - 1);
    // Before the thread's first block, so that a heap made for it is made whole.
    holdLargeSteps();
    advise();
#endif
}

HugeHeapPages::~HugeHeapPages() {
    if (!on_) return;
    advise();
    releaseLargeSteps();
}

void HugeHeapPages::advise() {
    if (!on_) return;
    if (main_) {
        const std::uintptr_t end = heapEnd() & ~(kHugePage - 1);
        if (end <= advisedTo_) return;
        madvise(reinterpret_cast<void*>(advisedTo_), end - advisedTo_, MADV_HUGEPAGE);
        advisedTo_ = end;
        return;
    }
    // Another thread's heap is where a block it takes now lies; it is advised whole, once.
    void* probe = std::malloc(kProbe);
    const std::uintptr_t heap = reinterpret_cast<std::uintptr_t>(probe) & ~(kThreadHeap - 1);
    std::free(probe);
    if (heap == advisedHeap_) return;
    madvise(reinterpret_cast<void*>(heap), kThreadHeap, MADV_HUGEPAGE);
    advisedHeap_ = heap;
}

}  // namespace tolvane::cad
