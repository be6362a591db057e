// A number for each handle of a set: the spatial index's entry of each entity it holds. As in
// HandleSet, the handles a drawing hands out lie close together: their numbers are kept in a
// table read at the handle, which a build entering a space's entities in their order fills at
// the speed of a pass over memory (a hash table takes a cache miss for each, and at a million
// entities that was the largest part of the build). A handle far above the others is kept in a
// hash instead, so that the table never takes more than a few slots for each handle in the set.
#pragma once

#include <QHash>
#include <QtGlobal>
#include <algorithm>
#include <utility>
#include <vector>

namespace tolvane::cad {

class HandleMap {
  public:
    // The number kept for `h`, and whether `h` was not in the map and is now, given `value`.
    std::pair<quint32*, bool> insert(quint64 h, quint32 value) {
        if (h >= slots_.size() && !grow(h)) {
            const qsizetype had = far_.size();
            quint32& slot = far_[h];
            if (far_.size() == had) return {&slot, false};
            slot = value;
            ++size_;
            return {&slot, true};
        }
        quint32& slot = slots_[size_t(h)];
        if (slot != kNone) return {&slot, false};
        slot = value;
        ++size_;
        return {&slot, true};
    }
    // The number kept for `h`; null when `h` is not in the map.
    const quint32* find(quint64 h) const {
        if (h < slots_.size()) return slots_[size_t(h)] != kNone ? &slots_[size_t(h)] : nullptr;
        if (far_.isEmpty()) return nullptr;
        const auto it = far_.constFind(h);
        return it != far_.cend() ? &it.value() : nullptr;
    }
    bool contains(quint64 h) const { return find(h) != nullptr; }
    // Whether `h` was in the map.
    bool erase(quint64 h) {
        if (h < slots_.size()) {
            if (slots_[size_t(h)] == kNone) return false;
            slots_[size_t(h)] = kNone;
        } else if (!far_.remove(h)) {
            return false;
        }
        --size_;
        return true;
    }
    qsizetype size() const { return size_; }
    // Room for `n` handles in all: the table may reach as far as that many allow.
    void reserve(qsizetype n) { room_ = std::max(room_, n); }

  private:
    // The one number no entry has: the slot is free.
    static constexpr quint32 kNone = 0xFFFFFFFFu;
    // Makes the table reach `h` when the map is dense enough for it: at most four slots for
    // each handle in the map or reserved for, and a first few thousand whatever it holds. The
    // handles kept apart below the new end go over to the table.
    bool grow(quint64 h) {
        constexpr quint64 kFirstSlots = 16384;
        const quint64 allowed =
            std::max<quint64>(kFirstSlots, 4 * quint64(std::max(size_, room_) + 1));
        if (h >= allowed) return false;
        const size_t reach = size_t(std::min(allowed, std::max(h + 1, 2 * quint64(slots_.size()))));
        slots_.resize(reach, kNone);
        for (auto it = far_.begin(); it != far_.end();) {
            if (it.key() < reach) {
                slots_[size_t(it.key())] = it.value();
                it = far_.erase(it);
            } else {
                ++it;
            }
        }
        return true;
    }

    std::vector<quint32> slots_;   // slot h: the number of handle h, or kNone
    QHash<quint64, quint32> far_;  // handles at or beyond the table's end
    qsizetype size_ = 0;
    qsizetype room_ = 0;  // reserved for
};

}  // namespace tolvane::cad
