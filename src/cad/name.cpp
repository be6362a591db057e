#include "cad/name.h"

#include <QHash>
#include <mutex>

namespace tolvane::cad {

namespace {

// The copies names hold now, by their text. A copy whose count has fallen to 0 is being freed
// by the name that held it last: it is never counted again, and a name made meanwhile from its
// text gets a new copy, which takes its place here. The table is never freed: names may live in
// objects freed after it at the program's exit.
std::mutex poolLock;
QHash<QString, void*>& pool() {
    static auto* p = new QHash<QString, void*>;
    return *p;
}

}  // namespace

Name::Data* Name::share(const QString& text) {
    const std::lock_guard lock(poolLock);
    void*& place = pool()[text];
    if (auto* d = static_cast<Data*>(place)) {
        int ref = d->ref.load(std::memory_order_relaxed);
        if (ref == kLasting) return d;
        while (ref > 0)
            if (d->ref.compare_exchange_weak(ref, ref + 1, std::memory_order_relaxed)) return d;
    }
    auto* d = new Data{{1}, text};
    place = d;
    return d;
}

void Name::drop(Data* d) {
    {
        const std::lock_guard lock(poolLock);
        const auto it = pool().constFind(d->text);
        if (it != pool().constEnd() && it.value() == d) pool().erase(it);
    }
    delete d;
}

Name Name::lasting(const QString& text) {
    Name n;
    if (text.isEmpty()) return n;
    const std::lock_guard lock(poolLock);
    void*& place = pool()[text];
    auto* d = static_cast<Data*>(place);
    if (!d || d->ref.load(std::memory_order_relaxed) != kLasting) {
        // A copy counted by names made before stays theirs (it leaves the pool when freed).
        d = new Data{{kLasting}, text};
        place = d;
    }
    n.d_ = d;
    return n;
}

}  // namespace tolvane::cad
