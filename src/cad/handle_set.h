// The set of handles a document uses. Handles are numbers a drawing hands out counting up from
// a few hundred, so most of a drawing's lie close together: those are kept as bits, one for
// each number up to the highest of them, which a drawing read from its file enters in the
// order of its lists at the speed of a pass over memory (a hash set would take a cache miss
// for each). A handle far above the others (a drawing of another program may number as it
// likes) is kept in a hash set instead, so that the bits never take more than a word for each
// handle in use.
#pragma once

#include <QSet>
#include <QtGlobal>
#include <algorithm>
#include <bit>
#include <vector>

namespace tolvane::cad {

class HandleSet {
  public:
    // Whether `h` was not in the set and is now.
    bool insert(quint64 h) {
        if (h >= bitCount() && !grow(h)) {
            const qsizetype had = far_.size();
            far_.insert(h);
            return far_.size() != had ? (++size_, true) : false;
        }
        quint64& word = words_[size_t(h >> 6)];
        const quint64 bit = quint64(1) << (h & 63);
        if (word & bit) return false;
        word |= bit;
        ++size_;
        return true;
    }
    bool contains(quint64 h) const {
        if (h < bitCount()) return words_[size_t(h >> 6)] >> (h & 63) & 1;
        return !far_.isEmpty() && far_.contains(h);
    }
    // Whether `h` was in the set.
    bool remove(quint64 h) {
        if (h < bitCount()) {
            quint64& word = words_[size_t(h >> 6)];
            const quint64 bit = quint64(1) << (h & 63);
            if (!(word & bit)) return false;
            word &= ~bit;
        } else if (!far_.remove(h)) {
            return false;
        }
        --size_;
        return true;
    }
    qsizetype size() const { return size_; }
    bool isEmpty() const { return size_ == 0; }
    // Room for `n` handles in all: the bits may reach as far as that many allow.
    void reserve(qsizetype n) { room_ = std::max(room_, n); }
    void clear() { *this = HandleSet(); }
    // The highest handle in the set; 0 when it is empty.
    quint64 highest() const {
        quint64 top = 0;
        for (size_t w = words_.size(); w-- > 0;) {
            if (words_[w]) {
                top = w * 64 + 63 - quint64(std::countl_zero(words_[w]));
                break;
            }
        }
        for (const quint64 h : far_) top = std::max(top, h);
        return top;
    }

  private:
    quint64 bitCount() const { return quint64(words_.size()) * 64; }
    // Makes bits reach `h` when the set is dense enough for it: at most a word of bits for
    // each handle in use or reserved, and a first few thousand whatever the set holds. The
    // handles kept apart below the new end go over to the bits.
    bool grow(quint64 h) {
        constexpr quint64 kFirstWords = 4096;
        const quint64 allowed = std::max<quint64>(kFirstWords, quint64(std::max(size_, room_) + 1));
        const quint64 needed = (h >> 6) + 1;
        if (needed > allowed) return false;
        const size_t words =
            size_t(std::min(allowed, std::max(needed, 2 * quint64(words_.size()))));
        words_.resize(words, 0);
        if (!far_.isEmpty()) {
            for (auto it = far_.begin(); it != far_.end();) {
                if (*it < bitCount()) {
                    words_[size_t(*it >> 6)] |= quint64(1) << (*it & 63);
                    it = far_.erase(it);
                } else {
                    ++it;
                }
            }
        }
        return true;
    }

    std::vector<quint64> words_;  // bit h of the words: handle h is in the set
    QSet<quint64> far_;           // handles at or beyond the bits' end
    qsizetype size_ = 0;
    qsizetype room_ = 0;  // reserved for
};

}  // namespace tolvane::cad
