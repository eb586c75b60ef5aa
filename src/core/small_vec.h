// Small vectors and linear sets for the millions of tiny per-bucket lists of the search.
//
// A bucket usually holds one circuit and a couple of surface gates, so the first elements live inside the
// object and only longer lists go to the heap. Length and capacity are 32 bits wide, which keeps a vector of
// 4-byte elements with two inline slots at 16 bytes (a std::vector is 24 bytes plus a heap block of at least
// 32). Elements are trivially copyable; copies are deep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "core/panic.h"

namespace tandrel {

/// A vector of trivially copyable elements with room for `N` of them inside the object.
template <class T, uint32_t N>
class SmallVec {
    static_assert(std::is_trivially_copyable_v<T>, "elements are moved as raw bytes");
    static_assert(N >= 1, "at least one inline element");

public:
    SmallVec() = default;
    SmallVec(const SmallVec& other) { append(other.data(), other.size()); }
    SmallVec(SmallVec&& other) noexcept { take(other); }
    SmallVec& operator=(const SmallVec& other) {
        if (this != &other) {
            clear();
            append(other.data(), other.size());
        }
        return *this;
    }
    SmallVec& operator=(SmallVec&& other) noexcept {
        if (this != &other) {
            release();
            take(other);
        }
        return *this;
    }
    ~SmallVec() { release(); }

    size_t size() const { return len_; }
    bool empty() const { return len_ == 0; }
    /// Elements it can hold without allocating.
    size_t capacity() const { return cap_; }
    /// Bytes of the heap block, 0 while the elements are inline.
    size_t heap_bytes() const { return on_heap() ? size_t(cap_) * sizeof(T) : 0; }

    T* data() { return on_heap() ? heap_ : reinterpret_cast<T*>(inline_); }
    const T* data() const { return on_heap() ? heap_ : reinterpret_cast<const T*>(inline_); }
    T* begin() { return data(); }
    T* end() { return data() + len_; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + len_; }

    /// Element i; i at or beyond the length is an index-out-of-bounds failure.
    const T& operator[](size_t i) const {
        check_index(i, len_);
        return data()[i];
    }
    T& operator[](size_t i) {
        check_index(i, len_);
        return data()[i];
    }
    /// The first element; an empty vector is an index-out-of-bounds failure.
    const T& front() const { return (*this)[0]; }

    /// Appends one element, doubling the capacity when it is full.
    void push_back(const T& value) {
        if (len_ == cap_) reserve(size_t(cap_) * 2);
        data()[len_++] = value;
    }
    /// Appends `n` elements.
    void append(const T* values, size_t n) {
        if (len_ + n > cap_) reserve(len_ + n);
        if (n) std::memcpy(static_cast<void*>(data() + len_), values, n * sizeof(T));
        len_ += uint32_t(n);
    }
    /// Removes every element, keeping the capacity.
    void clear() { len_ = 0; }

    /// Ensures room for `n` elements.
    void reserve(size_t n) {
        if (n <= cap_) return;
        if (n > UINT32_MAX) [[unlikely]]
            panic("SmallVec capacity overflow");
        T* block = static_cast<T*>(std::malloc(n * sizeof(T)));
        if (!block) throw std::bad_alloc();
        if (len_) std::memcpy(static_cast<void*>(block), data(), len_ * sizeof(T));
        release();
        heap_ = block;
        cap_ = uint32_t(n);
    }

    friend bool operator==(const SmallVec& a, const SmallVec& b) {
        if (a.len_ != b.len_) return false;
        for (uint32_t i = 0; i < a.len_; ++i)
            if (!(a.data()[i] == b.data()[i])) return false;
        return true;
    }

private:
    bool on_heap() const { return cap_ > N; }
    void release() {
        if (on_heap()) std::free(heap_);
        cap_ = N;
    }
    /// Takes the elements of `other`, which is left empty; this vector must hold no heap block.
    void take(SmallVec& other) {
        len_ = other.len_;
        cap_ = other.cap_;
        if (other.on_heap())
            heap_ = other.heap_;
        else
            std::memcpy(inline_, other.inline_, sizeof(inline_));
        other.len_ = 0;
        other.cap_ = N;
    }

    union {
        alignas(T) unsigned char inline_[N * sizeof(T)];
        T* heap_;
    };
    uint32_t len_ = 0;
    uint32_t cap_ = N;
};

/// A set kept as a small unsorted vector in insertion order and searched linearly: for sets of a few elements.
template <class T, uint32_t N>
class LinearSet {
public:
    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const T* begin() const { return items_.begin(); }
    const T* end() const { return items_.end(); }
    /// Bytes of the heap block, 0 while the elements are inline.
    size_t heap_bytes() const { return items_.heap_bytes(); }

    bool contains(const T& value) const {
        for (const T& x : items_)
            if (x == value) return true;
        return false;
    }
    /// Adds `value` at the end unless it is present; returns whether it was added.
    bool insert(const T& value) {
        if (contains(value)) return false;
        items_.push_back(value);
        return true;
    }

    friend bool operator==(const LinearSet&, const LinearSet&) = default;

private:
    SmallVec<T, N> items_;
};

}  // namespace tandrel
