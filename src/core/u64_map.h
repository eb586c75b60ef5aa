// A map from 64-bit keys that are already uniformly distributed hashes (evaluation keys) to values.
//
// The key is its own hash: its low bits pick the home slot and its high 32 bits are kept in the slot as a tag,
// so that a probe rarely leaves the slot array. Slots are 8 bytes (entry index and tag) under linear probing at
// a load of at most 3/4; the entries themselves sit in insertion order in a deque, which never moves an entry
// once made, so references to values stay valid across insertions and growth copies only the slots.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <utility>

#include "core/panic.h"

namespace tandrel {

/// Key-to-value map for keys that are hashes; iteration is in insertion order. Not thread-safe for writers;
/// any number of readers may share it while nobody inserts.
template <class V>
class U64Map {
public:
    /// A key and its value, as stored and iterated.
    struct Entry {
        uint64_t key;
        V value;
    };

    /// The most entries a map can hold (entry indices are 32 bits wide, one value is the empty mark).
    static constexpr size_t MAX_ENTRIES = UINT32_MAX - 1;

    U64Map() = default;
    U64Map(const U64Map& other) : entries_(other.entries_), mask_(other.mask_) {
        if (other.slots_) {
            slots_ = std::make_unique_for_overwrite<Slot[]>(mask_ + 1);
            std::copy(other.slots_.get(), other.slots_.get() + mask_ + 1, slots_.get());
        }
    }
    U64Map& operator=(const U64Map& other) {
        if (this != &other) *this = U64Map(other);
        return *this;
    }
    U64Map(U64Map&&) noexcept = default;
    U64Map& operator=(U64Map&&) noexcept = default;

    /// Number of entries.
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    /// The value under `key`, or null.
    V* find(uint64_t key) { return const_cast<V*>(std::as_const(*this).find(key)); }
    const V* find(uint64_t key) const {
        if (!slots_) return nullptr;
        const uint32_t tag = tag_of(key);
        for (size_t i = key & mask_;; i = (i + 1) & mask_) {
            const Slot s = slots_[i];
            if (s.index == EMPTY) return nullptr;
            if (s.tag == tag) {
                const Entry& e = entries_[s.index];
                if (e.key == key) return &e.value;
            }
        }
    }
    bool contains(uint64_t key) const { return find(key) != nullptr; }

    /// Inserts `key` with the value built from `args` unless the key is present. Returns the value under the key
    /// and whether it was inserted (a present value is left unchanged and `args` are not used).
    template <class... Args>
    std::pair<V*, bool> try_emplace(uint64_t key, Args&&... args) {
        if (4 * (entries_.size() + 1) > 3 * capacity()) grow();
        const uint32_t tag = tag_of(key);
        size_t i = key & mask_;
        for (;; i = (i + 1) & mask_) {
            const Slot s = slots_[i];
            if (s.index == EMPTY) break;
            if (s.tag == tag) {
                Entry& e = entries_[s.index];
                if (e.key == key) return {&e.value, false};
            }
        }
        if (entries_.size() >= MAX_ENTRIES) [[unlikely]]
            panic("U64Map is full: it holds 4294967294 entries");
        entries_.push_back(Entry{key, V(std::forward<Args>(args)...)});
        slots_[i] = Slot{uint32_t(entries_.size() - 1), tag};
        return {&entries_.back().value, true};
    }

    /// Sets the value under `key`, keeping the key's place in the order when it is present. Returns the value it
    /// replaced, if any.
    std::optional<V> insert_or_assign(uint64_t key, V value) {
        auto [v, inserted] = try_emplace(key, std::move(value));
        if (inserted) return std::nullopt;
        std::optional<V> old(std::move(*v));
        *v = std::move(value);
        return old;
    }

    /// The i-th entry in insertion order.
    const Entry& entry(size_t i) const {
        check_index(i, entries_.size());
        return entries_[i];
    }

    /// Entries in insertion order. The keys must not be changed through the mutable form.
    auto begin() { return entries_.begin(); }
    auto end() { return entries_.end(); }
    auto begin() const { return entries_.begin(); }
    auto end() const { return entries_.end(); }

    /// Number of slots (0 before the first insertion, else a power of two).
    size_t capacity() const { return slots_ ? mask_ + 1 : 0; }
    /// Bytes held by the slots and the entries (not counting what the values own).
    size_t memory_bytes() const { return capacity() * sizeof(Slot) + entries_.size() * sizeof(Entry); }

private:
    struct Slot {
        uint32_t index;
        uint32_t tag;
    };
    static_assert(sizeof(Slot) == 8);
    static constexpr uint32_t EMPTY = UINT32_MAX;
    static constexpr size_t MIN_SLOTS = 8;

    static uint32_t tag_of(uint64_t key) { return uint32_t(key >> 32); }

    /// Doubles the slot array and re-files every entry; the entries do not move.
    void grow() {
        const size_t n = slots_ ? 2 * (mask_ + 1) : MIN_SLOTS;
        auto slots = std::make_unique_for_overwrite<Slot[]>(n);
        std::fill(slots.get(), slots.get() + n, Slot{EMPTY, 0});
        const size_t mask = n - 1;
        for (size_t k = 0; k < entries_.size(); ++k) {
            const uint64_t key = entries_[k].key;
            size_t i = key & mask;
            while (slots[i].index != EMPTY) i = (i + 1) & mask;
            slots[i] = Slot{uint32_t(k), tag_of(key)};
        }
        slots_ = std::move(slots);
        mask_ = mask;
    }

    std::deque<Entry> entries_;
    std::unique_ptr<Slot[]> slots_;
    size_t mask_ = 0;
};

}  // namespace tandrel
