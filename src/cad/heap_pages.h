// The heap of a large read on huge pages. Reading a large drawing allocates a few hundred bytes
// per entity (vertex lists, texts, extended data), and a heap grown afresh costs one page fault
// for every 4 KB it is first written: on a virtual machine that is most of the read's time.
// While a HugeHeapPages lives, the program's main heap grows in large steps and each part it
// grows by is advised to the system for huge pages (2 MB, one fault each) when advise() finds
// it grown. Only the heap of the program's first thread is covered (other threads allocate
// from heaps of their own); elsewhere, and where the system keeps no huge pages, it changes
// nothing.
#pragma once

#include <cstdint>

namespace tolvane::cad {

class HugeHeapPages {
  public:
    HugeHeapPages();
    ~HugeHeapPages();
    HugeHeapPages(const HugeHeapPages&) = delete;
    HugeHeapPages& operator=(const HugeHeapPages&) = delete;

    // Advises what the heap grew by since the last look; cheap when it did not grow.
    void advise();

  private:
    bool on_ = false;
    std::uintptr_t advisedTo_ = 0;  // the heap up to here is advised
};

}  // namespace tolvane::cad
