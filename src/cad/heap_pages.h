// The heap of a large read on huge pages. Reading a large drawing allocates a few hundred bytes
// per entity (vertex lists, texts, extended data), and a heap grown afresh costs one page fault
// for every 4 KB it is first written: on a virtual machine that is most of the read's time.
// While a HugeHeapPages lives, the heaps grow in large steps and the heap of the thread that
// made it is advised to the system for huge pages (2 MB, one fault each) when advise() finds
// it grown. The program's first thread allocates from the main heap, which grows at its end:
// each part it grew by is advised. Another thread allocates from a heap of its own, which the
// C library reserves 64 MB at a time and, while the steps are large, makes usable whole: that
// heap is advised whole when advise() first finds the thread taking memory from it (threads
// that read drawings side by side each hold one). The steps stay large while any lives.
// On the program's first thread a thread of its own also faults in the pages just ahead of the
// main heap's use and of a large list's writing (writeAhead), so that the reader finds them
// there. Elsewhere than with the GNU C library, and where the system keeps no huge pages, it
// changes nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

namespace tolvane::cad {

// Has the C library keep what is freed for the blocks taken next, for the process's life: blocks
// of up to 32 MB come from its heaps rather than from mappings of their own, and up to 64 MB
// freed at a heap's top stays there. Left to its defaults it gives such memory back to the
// system at once and asks for it again, and fresh memory is faulted in page by page: opening a
// drawing (its window and first painting after the read) and painting a report's pages, which
// free and take as much again, cost twice what they would.
void keepFreedMemoryInHeap();

// Advises the whole 2 MB pages of a large list for huge pages: a list written from start to end
// once then costs one fault per 2 MB where it would cost five hundred.
void adviseHugePages(void* begin, std::size_t bytes);

// The whole pages of a block about to be freed go back to the system: the C library keeps a
// freed block of a few megabytes for reuse, resident, where nothing may take it again soon.
void releasePages(void* begin, std::size_t bytes);

class HugeHeapPages {
  public:
    HugeHeapPages();
    ~HugeHeapPages();
    HugeHeapPages(const HugeHeapPages&) = delete;
    HugeHeapPages& operator=(const HugeHeapPages&) = delete;

    // A large list about to be written from its start to its end (a drawing's entities):
    // advised for huge pages, and on the program's first thread its pages are faulted in ahead
    // of its writing as advise() is told of it.
    void writeAhead(void* begin, std::size_t bytes);
    // The list given to writeAhead is written up to `written` and no further: the pages faulted
    // in past it go back to the system.
    void endList(const void* written);
    // Advises what the heap grew by since the last look, and on the program's first thread has
    // the pages ahead of the heap's use faulted in, and those ahead of the list's writing when
    // it is written up to `listWritten` (a place outside the list changes nothing).
    void advise(const void* listWritten = nullptr);

  private:
    // Faults in the pages of the main heap and of a list ahead of their use, on a thread of
    // its own.
    class Prefault;

    bool on_ = false;
    bool main_ = false;               // made on the program's first thread
    std::uintptr_t advisedTo_ = 0;    // the main heap up to here is advised
    std::uintptr_t advisedHeap_ = 0;  // another thread's: the heap advised last
    std::unique_ptr<Prefault> prefault_;
    std::pair<std::uintptr_t, std::uintptr_t> list_{};  // given to writeAhead
};

}  // namespace tolvane::cad
