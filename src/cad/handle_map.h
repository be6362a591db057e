// A value for each handle of a set: the spatial index's entry of each entity it holds, the
// document's place of each entity. As in HandleSet, the handles a drawing hands out lie close
// together: their values are kept in a table read at the handle, which a pass entering a list's
// entities in their order fills at the speed of a pass over memory (a hash table takes a cache
// miss for each, and at a million entities that was the largest part of the index's build and
// all of the document's first look-up). A handle far above the others is kept in a hash
// instead, so that the table never takes more than a few slots for each handle in the set.
#pragma once

#include <QHash>
#include <QtGlobal>
#include <algorithm>
#include <utility>
#include <vector>

namespace tolvane::cad {

// `none` is a value no handle is given: it marks a free slot.
template <typename V>
class HandleMap {
  public:
    explicit HandleMap(V none) : none_(none) {}

    // The value kept for `h`, and whether `h` was not in the map and is now, given `value`.
    std::pair<V*, bool> insert(quint64 h, const V& value) {
        if (h >= slots_.size() && !grow(h)) {
            const qsizetype had = far_.size();
            V& slot = far_[h];
            if (far_.size() == had) return {&slot, false};
            slot = value;
            ++size_;
            return {&slot, true};
        }
        V& slot = slots_[size_t(h)];
        if (!(slot == none_)) return {&slot, false};
        slot = value;
        ++size_;
        return {&slot, true};
    }
    // `h` given `value`, whether it was in the map or not.
    void assign(quint64 h, const V& value) {
        const auto [slot, made] = insert(h, value);
        if (!made) *slot = value;
    }
    // The value kept for `h`; null when `h` is not in the map.
    const V* find(quint64 h) const {
        if (h < slots_.size()) return slots_[size_t(h)] == none_ ? nullptr : &slots_[size_t(h)];
        if (far_.isEmpty()) return nullptr;
        const auto it = far_.constFind(h);
        return it != far_.cend() ? &it.value() : nullptr;
    }
    bool contains(quint64 h) const { return find(h) != nullptr; }
    // Whether `h` was in the map.
    bool erase(quint64 h) {
        if (h < slots_.size()) {
            if (slots_[size_t(h)] == none_) return false;
            slots_[size_t(h)] = none_;
        } else if (!far_.remove(h)) {
            return false;
        }
        --size_;
        return true;
    }
    qsizetype size() const { return size_; }
    // Room for `n` handles in all: the table may reach as far as that many allow.
    void reserve(qsizetype n) { room_ = std::max(room_, n); }
    void clear() { *this = HandleMap(none_); }
    // Calls `keep(handle, value)` for every handle, which may change the value; a handle for
    // which it answers false is taken out.
    template <typename F>
    void update(F&& keep) {
        for (size_t h = 0; h < slots_.size(); ++h) {
            if (slots_[h] == none_ || keep(quint64(h), slots_[h])) continue;
            slots_[h] = none_;
            --size_;
        }
        for (auto it = far_.begin(); it != far_.end();) {
            if (keep(it.key(), it.value())) {
                ++it;
            } else {
                it = far_.erase(it);
                --size_;
            }
        }
    }

  private:
    // Makes the table reach `h` when the map is dense enough for it: at most four slots for
    // each handle in the map or reserved for, and a first few thousand whatever it holds. The
    // handles kept apart below the new end go over to the table.
    bool grow(quint64 h) {
        constexpr quint64 kFirstSlots = 16384;
        const quint64 allowed =
            std::max<quint64>(kFirstSlots, 4 * quint64(std::max(size_, room_) + 1));
        if (h >= allowed) return false;
        // A map told how many handles it will hold is made as large as they will need at once
        // (they lie about as far as they are many), rather than grown and copied step by step.
        const quint64 told = quint64(room_) + quint64(room_) / 4;
        const size_t reach =
            size_t(std::min(allowed, std::max({h + 1, 2 * quint64(slots_.size()), told})));
        slots_.resize(reach, none_);
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

    V none_;
    std::vector<V> slots_;   // slot h: the value of handle h, or none_
    QHash<quint64, V> far_;  // handles at or beyond the table's end
    qsizetype size_ = 0;
    qsizetype room_ = 0;  // reserved for
};

}  // namespace tolvane::cad
