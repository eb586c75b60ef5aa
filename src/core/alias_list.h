// Shared lists of the search: persistent cons lists whose cells are shared between lists and freed only
// explicitly, by the owner of the cells.
//
// Every stored circuit is an earlier circuit with one more instruction, so a list is one new cell pointing at
// the list it extends, and lists hold their elements newest first (a circuit's last instruction comes first).
//
// Cells live in an arena owned by the table that made them and are addressed by 32-bit indices, not
// pointers:
// - a cell is a 4-byte element and a 4-byte link, 8 bytes also on a 64-bit build, where a pointer link would
//   pad it to 16 and double the memory of millions of stored circuits;
// - lists are plain 32-bit values, so they pack beside other fields of the table's entries;
// - cells are shared and never counted, so freeing them list by list would need to know which lists still
//   reach which cells; the owner instead frees single cells it knows to be unshared (they go on a free list
//   and are reused by later cells) and drops the arena to free everything at once, without walking a list;
// - cells sit in fixed pages, so growing the arena never moves or copies a cell: references to elements stay
//   valid until their cell is freed, and growth costs one page allocation per 65536 cells.
// 2^32 - 1 cells (32 GiB of cells) is far beyond what a search stores; the last index is the empty list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <type_traits>
#include <vector>

#include "core/panic.h"

namespace tandrel {

/// A shared list: the index of its first cell in the arena that made it, or `NIL_INDEX` for the empty list.
/// A plain value; copying a list copies the index and shares every cell.
template <class T>
struct AliasList {
    /// The reserved index of the empty list.
    static constexpr uint32_t NIL_INDEX = UINT32_MAX;

    uint32_t index = NIL_INDEX;

    /// The empty list.
    static constexpr AliasList nil() { return AliasList{}; }
    bool is_nil() const { return index == NIL_INDEX; }

    friend bool operator==(const AliasList&, const AliasList&) = default;
};

/// A cell: the element added last to the list whose first cell this is, and the rest of that list. Never
/// changed after it is made (until it is freed).
template <class T>
struct AliasCons {
    T head;
    AliasList<T> tail;
};

static_assert(sizeof(AliasList<uint32_t>) == 4, "a list is one 32-bit index");
static_assert(sizeof(AliasCons<uint32_t>) == 8, "a cell of a 4-byte element is 8 bytes");

template <class T>
class AliasArena;

/// Walks a list from its first cell, yielding the elements newest first. Also its own range
/// (`for (const T& x : arena.iter(list))`). Valid while the arena lives and the walked cells are not freed.
template <class T>
class AliasIter {
public:
    using value_type = T;
    using difference_type = std::ptrdiff_t;

    AliasIter() = default;
    AliasIter(const AliasArena<T>* arena, AliasList<T> list) : arena_(arena), list_(list) {}

    /// The first element of the rest of the list and advances past it, or null at the end.
    const T* next() {
        if (list_.is_nil()) return nullptr;
        const AliasCons<T>& c = arena_->cell_unchecked(list_.index);
        list_ = c.tail;
        return &c.head;
    }

    /// The rest of the list that is not yet walked.
    AliasList<T> rest() const { return list_; }

    const T& operator*() const { return arena_->cell_unchecked(list_.index).head; }
    AliasIter& operator++() {
        list_ = arena_->cell_unchecked(list_.index).tail;
        return *this;
    }
    AliasIter operator++(int) {
        AliasIter old = *this;
        ++*this;
        return old;
    }
    friend bool operator==(const AliasIter& a, const AliasIter& b) { return a.list_ == b.list_; }

    AliasIter begin() const { return *this; }
    AliasIter end() const { return AliasIter(arena_, AliasList<T>::nil()); }

private:
    const AliasArena<T>* arena_ = nullptr;
    AliasList<T> list_;
};
static_assert(std::forward_iterator<AliasIter<uint32_t>>);

/// The cells of a family of shared lists, owned by one table. Making and freeing cells is single-threaded;
/// any number of threads may walk lists while no cell is made or freed. Dropping the arena frees every cell.
template <class T>
class AliasArena {
    static_assert(std::is_trivially_copyable_v<T>, "cells are copied and reused as raw storage");
    static_assert(sizeof(T) != 4 || sizeof(AliasCons<T>) == 8, "a cell of a 4-byte element must stay 8 bytes");

public:
    /// Cells per page (a power of two) and the number of index bits addressing a cell within its page.
    static constexpr uint32_t PAGE_BITS = 16;
    static constexpr uint32_t PAGE_CELLS = uint32_t(1) << PAGE_BITS;
    /// The most cells an arena can hold at once.
    static constexpr size_t MAX_CELLS = AliasList<T>::NIL_INDEX;

    AliasArena() = default;
    AliasArena(AliasArena&&) noexcept = default;
    AliasArena& operator=(AliasArena&&) noexcept = default;
    /// A deep copy: the same lists, under the same indices, are valid in the copy.
    AliasArena(const AliasArena& other) { *this = other; }
    AliasArena& operator=(const AliasArena& other) {
        if (this == &other) return *this;
        std::vector<std::unique_ptr<Page>> pages;
        pages.reserve(other.pages_.size());
        for (const auto& p : other.pages_) pages.push_back(std::make_unique<Page>(*p));
        pages_ = std::move(pages);
        made_ = other.made_;
        live_ = other.live_;
        free_ = other.free_;
        return *this;
    }

    /// The list whose first cell is a new cell {head, tail}: one cell, reusing a freed one when there is one;
    /// `tail` and every list sharing its cells are unchanged. `tail` must be nil or a live list of this arena (else
    /// "assertion failed: tail.is_nil() || arena.is_live(tail)").
    AliasList<T> cons(AliasList<T> tail, T head) {
        check(tail.is_nil() || is_live(tail), "tail.is_nil() || arena.is_live(tail)");
        uint32_t i;
        if (free_ != AliasList<T>::NIL_INDEX) {
            i = free_;
            free_ = cell_unchecked(i).tail.index;
        } else {
            if (made_ == MAX_CELLS) [[unlikely]]
                panic("Alias arena is full: it holds 4294967295 cells");
            i = uint32_t(made_);
            if ((i & (PAGE_CELLS - 1)) == 0) {
                // Cells are written when made; only the live bits need a defined start.
                pages_.push_back(std::make_unique_for_overwrite<Page>());
                std::memset(pages_.back()->live, 0, sizeof(Page::live));
            }
            ++made_;
        }
        Page& p = page(i);
        p.cells[i & (PAGE_CELLS - 1)] = AliasCons<T>{head, tail};
        p.live[(i & (PAGE_CELLS - 1)) / 64] |= uint64_t(1) << (i % 64);
        ++live_;
        return AliasList<T>{i};
    }

    /// Frees the first cell of `list` only, leaving its tail untouched; nothing for the empty list. The list
    /// must not be used afterwards, and no other live list may reach the cell. Freeing a cell that is not live
    /// fails "assertion failed: arena.is_live(list)".
    void del(AliasList<T> list) {
        if (list.is_nil()) return;
        check(is_live(list), "arena.is_live(list)");
        Page& p = page(list.index);
        p.live[(list.index & (PAGE_CELLS - 1)) / 64] &= ~(uint64_t(1) << (list.index % 64));
        p.cells[list.index & (PAGE_CELLS - 1)].tail.index = free_;
        free_ = list.index;
        --live_;
    }

    /// Whether `list` is a non-empty list whose first cell is a live cell of this arena.
    bool is_live(AliasList<T> list) const {
        if (list.is_nil() || list.index >= made_) return false;
        const Page& p = page(list.index);
        return (p.live[(list.index & (PAGE_CELLS - 1)) / 64] >> (list.index % 64)) & 1;
    }

    /// The first cell of a live list; anything else fails "assertion failed: arena.is_live(list)".
    const AliasCons<T>& cell(AliasList<T> list) const {
        check(is_live(list), "arena.is_live(list)");
        return cell_unchecked(list.index);
    }

    /// The elements of `list`, newest first.
    AliasIter<T> iter(AliasList<T> list) const { return AliasIter<T>(this, list); }

    /// Appends the elements of `list` to `out` oldest first (circuit order); allocates only when `out` lacks
    /// the capacity.
    void append_in_order(AliasList<T> list, std::vector<T>& out) const {
        size_t n = 0;
        for (AliasList<T> l = list; !l.is_nil(); l = cell_unchecked(l.index).tail) ++n;
        const size_t base = out.size();
        out.resize(base + n);
        size_t k = base + n;
        for (AliasList<T> l = list; !l.is_nil();) {
            const AliasCons<T>& c = cell_unchecked(l.index);
            out[--k] = c.head;
            l = c.tail;
        }
    }

    /// Cells currently in use.
    size_t live_cells() const { return live_; }
    /// Cells ever made (live or on the free list); the arena's storage holds this many, rounded up to pages.
    size_t made_cells() const { return made_; }

    /// The cell at index i, which must have been made; for the walks of lists, which trust their indices.
    const AliasCons<T>& cell_unchecked(uint32_t i) const { return page(i).cells[i & (PAGE_CELLS - 1)]; }

private:
    struct Page {
        AliasCons<T> cells[PAGE_CELLS];
        uint64_t live[PAGE_CELLS / 64];
    };

    Page& page(uint32_t i) { return *pages_[i >> PAGE_BITS]; }
    const Page& page(uint32_t i) const { return *pages_[i >> PAGE_BITS]; }

    std::vector<std::unique_ptr<Page>> pages_;
    size_t made_ = 0;
    size_t live_ = 0;
    // Head of the free cells, linked through their `tail` fields.
    uint32_t free_ = AliasList<T>::NIL_INDEX;
};

}  // namespace tandrel
