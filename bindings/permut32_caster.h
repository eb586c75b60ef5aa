// Permutations at the Python boundary: there is no permutation class; a permutation is taken from any sequence
// of integers except `str` and given back as a tuple of ints.
//
// Taking one converts every element first (a non-integer is a TypeError, an integer outside 0 .. 255 an
// OverflowError, as for any u8 argument) and then builds the permutation with the validating constructor,
// whose failures are internal failures and reach Python as PanicException.
#pragma once

#include <nanobind/nanobind.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "conventions.h"
#include "core/permutation.h"

namespace nanobind::detail {

template <>
struct type_caster<tandrel::Permut32> {
    NB_TYPE_CASTER(tandrel::Permut32, io_name("collections.abc.Sequence[int]", "tuple[int, ...]"))

    bool from_python(handle src, uint32_t, cleanup_list*) noexcept(false) {
        PyObject* seq = src.ptr();
        if (PyUnicode_Check(seq)) throw type_error("Can't extract `str` to `Vec`");
        if (!PySequence_Check(seq)) return false;
        const Py_ssize_t n = PySequence_Size(seq);
        if (n < 0) throw python_error();
        // The validating constructor fails at the ninth value at the latest (it is then either 8 or more, or a
        // repeat), so the first nine values decide its outcome; the rest are only converted.
        std::array<uint8_t, tandrel::Permut32::MAX_LEN + 1> values{};
        for (Py_ssize_t i = 0; i < n; ++i) {
            object item = steal(PySequence_GetItem(seq, i));
            if (!item.is_valid()) throw python_error();
            uint8_t v;
            if (!tandrel::py::int_from_python<uint8_t>(item.ptr(), v)) return false;
            if (static_cast<size_t>(i) < values.size()) values[static_cast<size_t>(i)] = v;
        }
        const size_t kept = std::min(static_cast<size_t>(n), values.size());
        value = tandrel::Permut32::from_iter(std::span<const uint8_t>(values.data(), kept));
        return true;
    }

    /// A null handle with PanicException pending when the word is not a permutation that can be read (a length
    /// field above 8, possible only for a word taken unchecked from the object form): the caster must not throw.
    static handle from_cpp(tandrel::Permut32 p, rv_policy, cleanup_list*) noexcept {
        std::array<uint8_t, tandrel::Permut32::MAX_LEN> entries{};
        try {
            for (uint8_t i = 0; i < p.len(); ++i) entries[i] = p.at(i);
        } catch (const tandrel::Panic& e) {
            tandrel::py::set_panic_error(e);
            return {};
        }
        PyObject* t = PyTuple_New(p.len());
        if (!t) return {};
        for (uint8_t i = 0; i < p.len(); ++i) {
            PyObject* v = PyLong_FromLong(entries[i]);
            if (!v) {
                Py_DECREF(t);
                return {};
            }
            PyTuple_SET_ITEM(t, i, v);
        }
        return t;
    }
};

}  // namespace nanobind::detail
