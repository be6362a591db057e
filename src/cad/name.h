// A text that many values share, kept in 8 bytes.
#pragma once

#include <QHashFunctions>
#include <QLatin1StringView>
#include <QString>
#include <QStringView>
#include <atomic>
#include <utility>

namespace tolvane::cad {

// A text many values share (an entity's layer, line type, style, tag and block name): one
// pointer to a counted copy of it, 8 bytes where a QString takes 24. Equal texts made into names
// anywhere in the program share one copy while any name holds it (a reader of a file shares
// its own among the entities it reads), so a drawing of a million entities on a handful of
// layers keeps a handful of texts, and its entity records stay small.
// A name reads as a const QString& (member calls through ->). The reference it gives lasts
// while the name holds that text: it is not the name's own storage, so it outlives a move of
// the name but not its next writing.
class Name {
  public:
    Name() = default;
    Name(const QString& text) : d_(text.isEmpty() ? nullptr : share(text)) {}  // NOLINT
    Name(const char* utf8) : Name(QString::fromUtf8(utf8)) {}                  // NOLINT
    Name(const Name& o) noexcept : d_(o.d_) { retain(); }
    Name(Name&& o) noexcept : d_(std::exchange(o.d_, nullptr)) {}
    Name& operator=(const Name& o) noexcept {
        Name(o).swap(*this);
        return *this;
    }
    Name& operator=(Name&& o) noexcept {
        Name(std::move(o)).swap(*this);
        return *this;
    }
    ~Name() { release(); }
    void swap(Name& o) noexcept { std::swap(d_, o.d_); }

    // A name that is never freed nor counted, for the values things start with: copies of it
    // write nothing, so threads that make many of them do not contend for it.
    static Name lasting(const QString& text);
    // A copy of the text that only this name and its copies share, made without a look at
    // the others: for a reader that shares names among the entities it reads, on a thread of
    // its own.
    static Name unshared(const QString& text) {
        Name n;
        if (!text.isEmpty()) n.d_ = new Data{{1}, text};
        return n;
    }

    const QString& str() const { return d_ ? d_->text : empty(); }
    operator const QString&() const { return str(); }  // NOLINT: implicit by design
    const QString* operator->() const { return &str(); }
    bool isEmpty() const { return !d_; }
    void clear() { Name().swap(*this); }

    friend bool operator==(const Name& a, const Name& b) {
        return a.d_ == b.d_ || a.str() == b.str();
    }
    friend bool operator==(const Name& a, const QString& b) { return a.str() == b; }
    friend bool operator==(const Name& a, QStringView b) { return a.str() == b; }
    friend bool operator==(const Name& a, QLatin1StringView b) { return a.str() == b; }
    friend bool operator==(const Name& a, const char* b) { return a.str() == QString::fromUtf8(b); }
    friend bool operator<(const Name& a, const Name& b) { return a.str() < b.str(); }
    friend size_t qHash(const Name& n, size_t seed = 0) { return qHash(n.str(), seed); }

  private:
    static constexpr int kLasting = -1;
    struct Data {
        std::atomic<int> ref;
        QString text;
    };
    static const QString& empty() {
        static const QString e;
        return e;
    }
    void retain() const {
        if (d_ && d_->ref.load(std::memory_order_relaxed) != kLasting)
            d_->ref.fetch_add(1, std::memory_order_relaxed);
    }
    void release() {
        if (d_ && d_->ref.load(std::memory_order_relaxed) != kLasting &&
            d_->ref.fetch_sub(1, std::memory_order_acq_rel) == 1)
            drop(d_);
    }
    // The shared copy of `text`, counted once more; made when there is none.
    static Data* share(const QString& text);
    // Frees a copy no name holds any more.
    static void drop(Data* d);

    Data* d_ = nullptr;
};

}  // namespace tolvane::cad
