#include "cad/heap_pages.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

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
// How far ahead of a writing its pages are faulted in (what a read may leave faulted in past
// its use when it ends), and the part of that left to the writer itself.
constexpr std::uintptr_t kPrefaultLead = std::uintptr_t(6) << 20;
constexpr std::uintptr_t kPrefaultGap = std::uintptr_t(2) << 20;
// Blocks up to this size come from a heap (see keepFreedMemoryInHeap); a heap is grown whole
// up to this much short of its end.
constexpr size_t kLargestHeapBlock = size_t(31) << 20;
constexpr std::uintptr_t kGrowMargin = std::uintptr_t(1) << 20;
// A block larger than any the C library keeps aside per thread: it comes from the thread's
// own heap.
constexpr size_t kProbe = 4096;

// A place rounded down and up to the huge pages it lies in.
std::uintptr_t pageDown(std::uintptr_t at) {
    return at & ~(kHugePage - 1);
}
std::uintptr_t pageUp(std::uintptr_t at) {
    return pageDown(at + kHugePage - 1);
}

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

// A fault of a page the process has not had yet is dear on a virtual machine (the host backs
// the page afresh): a thread of its own takes those faults ahead of the reading thread, a huge
// page at a time, while the reader goes on with what it has. It runs ahead of two writings: the
// main heap's, which grows from its end, and a large list's (the entities of a drawing's main
// space), written from its start to its end. Faulting a page in as written leaves what it holds
// as it is, so the thread never meets the blocks it runs ahead of.
class HugeHeapPages::Prefault {
  public:
    enum Stream { Heap, List };

    Prefault() {
        thread_ = std::thread([this] { run(); });
    }
    ~Prefault() {
        {
            const std::lock_guard lock(lock_);
            stop_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    Prefault(const Prefault&) = delete;
    Prefault& operator=(const Prefault&) = delete;

    // A writing that begins at `from` (a huge page's start) and may not go past `limit`.
    void start(Stream s, std::uintptr_t from, std::uintptr_t limit) {
        const std::lock_guard lock(lock_);
        streams_[s] = {from, from, from, limit};
    }
    // The writing is done up to `used`; the pages up to kPrefaultLead past it, and below
    // `limit` (now further on, where given), may be faulted in.
    void writtenTo(Stream s, std::uintptr_t used, std::uintptr_t limit = 0) {
        {
            const std::lock_guard lock(lock_);
            Writing& w = streams_[s];
            if (limit) w.limit = limit;
            w.used = std::max(w.used, used);
            if (w.nextPage() == 0) return;
        }
        wake_.notify_one();
    }

    // The writing ends: no page of it is faulted in from now on. Returns where its pages are
    // faulted in up to.
    std::uintptr_t finish(Stream s) {
        std::unique_lock lock(lock_);
        Writing& w = streams_[s];
        w.limit = w.from;
        idle_.wait(lock, [&] { return busy_ != &w; });
        return w.done;
    }

  private:
    struct Writing {
        std::uintptr_t used = 0;  // written up to here
        std::uintptr_t done = 0;  // faulted in up to here
        std::uintptr_t from = 0;
        std::uintptr_t limit = 0;
        // The next page this thread may fault in, 0 for none yet: a whole page below the
        // bound (kPrefaultLead past the writing, and the end), past the pages next to the
        // writing, which are left to it: the writer faults them in while this thread faults
        // in the ones after, the two side by side. A page the writer reaches while this
        // thread is at it would keep the writer waiting for it.
        std::uintptr_t nextPage() const {
            const std::uintptr_t at = std::max(done, pageDown(used) + kPrefaultGap);
            return at + kHugePage <= std::min(limit, used + kPrefaultLead) ? at : 0;
        }
    };

    // The writing least far ahead of its use among those with pages to fault in.
    Writing* nextWriting() {
        Writing* best = nullptr;
        for (Writing& w : streams_) {
            if (w.nextPage() == 0) continue;
            if (!best ||
                w.done - std::min(w.done, w.used) < best->done - std::min(best->done, best->used))
                best = &w;
        }
        return best;
    }

    void run() {
        std::unique_lock lock(lock_);
        for (;;) {
            Writing* w = nullptr;
            wake_.wait(lock, [&] { return stop_ || (w = nextWriting()) != nullptr; });
            if (stop_) return;
            const std::uintptr_t at = w->nextPage();
            busy_ = w;
            lock.unlock();
            // A system without the advice (before Linux 5.14) leaves the faults to the writer.
            const bool faulted =
                madvise(reinterpret_cast<void*>(at), kHugePage, MADV_POPULATE_WRITE) == 0 ||
                errno != EINVAL;
            lock.lock();
            busy_ = nullptr;
            idle_.notify_all();
            if (!faulted) return;
            w->done = std::max(w->done, at + kHugePage);
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::array<Writing, 2> streams_;
    const Writing* busy_ = nullptr;  // the writing a page is being faulted in for
    bool stop_ = false;
    std::thread thread_;
};

void keepFreedMemoryInHeap() {
#ifdef __GLIBC__
    static std::once_flag once;
    std::call_once(once, [] {
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 64 << 20);
    });
#endif
}

void adviseHugePages(void* begin, std::size_t bytes) {
    const std::uintptr_t first = pageUp(std::uintptr_t(begin));
    const std::uintptr_t last = pageDown(std::uintptr_t(begin) + bytes);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

void releasePages(void* begin, std::size_t bytes) {
    const long page = sysconf(_SC_PAGESIZE);
    const std::uintptr_t first = (std::uintptr_t(begin) + page - 1) & ~std::uintptr_t(page - 1);
    const std::uintptr_t last = (std::uintptr_t(begin) + bytes) & ~std::uintptr_t(page - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

HugeHeapPages::HugeHeapPages() {
#ifdef __GLIBC__
    on_ = true;
    main_ = gettid() == getpid();
    // Huge pages of the main heap start at the next 2 MB boundary: the page the heap ends in
    // now may hold memory in use.
    if (main_) {
        advisedTo_ = pageUp(heapEnd());
        prefault_ = std::make_unique<Prefault>();
        prefault_->start(Prefault::Heap, advisedTo_, advisedTo_);
    }
    // Before the thread's first block, so that a heap made for it is made whole.
    holdLargeSteps();
    advise();
#endif
}

HugeHeapPages::~HugeHeapPages() {
    if (!on_) return;
    advise();
    prefault_.reset();
    releaseLargeSteps();
}

void HugeHeapPages::writeAhead(void* begin, std::size_t bytes) {
    adviseHugePages(begin, bytes);
    if (!prefault_) return;
    const std::uintptr_t first = pageUp(std::uintptr_t(begin));
    const std::uintptr_t last = pageDown(std::uintptr_t(begin) + bytes);
    if (last <= first) return;
    prefault_->start(Prefault::List, first, last);
    list_ = {std::uintptr_t(begin), std::uintptr_t(begin) + bytes};
}

void HugeHeapPages::endList(const void* written) {
    if (!prefault_ || list_.second == 0) return;
    const std::uintptr_t faulted = prefault_->finish(Prefault::List);
    // The pages faulted in past the list's end go back to the system. A list that outgrew
    // its room was moved by its writer: where it ends then is another list's.
    const auto end = std::uintptr_t(written);
    if (end >= list_.first && end <= list_.second) {
        const std::uintptr_t from = pageUp(end);
        const std::uintptr_t to = std::min(faulted, pageDown(list_.second));
        if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
    }
    list_ = {};
}

void HugeHeapPages::advise(const void* listWritten) {
    if (!on_) return;
    if (main_) {
        const std::uintptr_t end = pageDown(heapEnd());
        if (end > advisedTo_) {
            madvise(reinterpret_cast<void*>(advisedTo_), end - advisedTo_, MADV_HUGEPAGE);
            advisedTo_ = end;
        }
        // The heap is in use about up to where a block taken now lies: from its top while it
        // grows (a block found free further down only holds the faulting back). Asking the C
        // library instead (mallinfo2) walks every free block, a tenth of a second in a heap
        // of many.
        void* probe = std::malloc(kProbe);
        const std::uintptr_t used = reinterpret_cast<std::uintptr_t>(probe) + kProbe;
        std::free(probe);
        prefault_->writtenTo(Prefault::Heap, used, advisedTo_);
        const auto written = std::uintptr_t(listWritten);
        if (written >= list_.first && written <= list_.second)
            prefault_->writtenTo(Prefault::List, written);
        return;
    }
    // Another thread's heap is where a block it takes now lies; it is advised whole, once.
    void* probe = std::malloc(kProbe);
    std::uintptr_t at = reinterpret_cast<std::uintptr_t>(probe) + kProbe;
    const std::uintptr_t heap = at & ~(kThreadHeap - 1);
    std::free(probe);
    if (heap == advisedHeap_) return;
    madvise(reinterpret_cast<void*>(heap), kThreadHeap, MADV_HUGEPAGE);
    advisedHeap_ = heap;
    // A heap the C library made before the large steps held (for a thread that has ended
    // since) grows by what each block needs: every step a change of the process's mappings,
    // and no page past the last step can be huge. Blocks taken up to its end and freed at once
    // leave it usable whole. What the C library wrote past a block (a free block's head) goes
    // back to the system: the heap is left untouched until used.
    // The blocks are kept as addresses: past the free only the pages they spanned are used.
    std::array<std::pair<std::uintptr_t, size_t>, 2> blocks{};
    for (auto& [block, size] : blocks) {
        if (at < heap || at + kGrowMargin >= heap + kThreadHeap) break;  // in another heap, or full
        size = std::min<size_t>(heap + kThreadHeap - at - kGrowMargin, kLargestHeapBlock);
        block = reinterpret_cast<std::uintptr_t>(std::malloc(size));
        if (!block) break;
        at = block + size;
    }
    for (auto it = blocks.rbegin(); it != blocks.rend(); ++it)
        std::free(reinterpret_cast<void*>(it->first));
    for (const auto& [block, size] : blocks)
        if (block) releasePages(reinterpret_cast<void*>(block + kProbe), size - kProbe);
}

}  // namespace tolvane::cad
