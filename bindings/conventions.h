// The Python rules every class of the module follows, each stated once here and applied by declaration:
// the borrow state of instances, integer arguments with range checks, comparisons that return NotImplemented
// for foreign operands, unhashable classes with equality, no subclassing, classes without a constructor,
// text-signature docstrings, item deletion, and the panic exception.
#pragma once

#include <nanobind/nanobind.h>

#include <concepts>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

namespace tandrel::py {

namespace nb = nanobind;

// ---------------------------------------------------------------------------------------------------------------
// Instances and borrows

/// A Python instance's value together with its borrow state (0 free, >0 readers, -1 one writer).
template <class T>
struct Obj {
    T value;
    mutable int32_t borrow = 0;

    Obj() = default;
    explicit Obj(T v) : value(std::move(v)) {}
    Obj(const Obj& o) : value(o.value) {}
    Obj& operator=(const Obj& o) {
        value = o.value;
        return *this;
    }
};

/// A shared borrow of an instance for the duration of a call; fails with "Already mutably borrowed".
template <class T>
class Read {
public:
    explicit Read(const Obj<T>& o) : o_(&o) {
        if (o.borrow < 0) throw std::runtime_error("Already mutably borrowed");
        ++o.borrow;
    }
    Read(const Read&) = delete;
    Read& operator=(const Read&) = delete;
    ~Read() { --o_->borrow; }
    const T& operator*() const { return o_->value; }
    const T* operator->() const { return &o_->value; }

private:
    const Obj<T>* o_;
};

/// An exclusive borrow of an instance for the duration of a call; fails with "Already borrowed".
template <class T>
class Write {
public:
    explicit Write(Obj<T>& o) : o_(&o) {
        if (o.borrow != 0) throw std::runtime_error("Already borrowed");
        o.borrow = -1;
    }
    Write(const Write&) = delete;
    Write& operator=(const Write&) = delete;
    ~Write() { o_->borrow = 0; }
    T& operator*() const { return o_->value; }
    T* operator->() const { return &o_->value; }

private:
    Obj<T>* o_;
};

// ---------------------------------------------------------------------------------------------------------------
// Integer arguments

/// An integer argument of a fixed width: accepts any object with `__index__`, raises OverflowError
/// ("out of range integral type conversion attempted") outside the width and TypeError for non-integers.
/// Use it for direct arguments only: nanobind's container casters are noexcept, so a sequence of these would
/// terminate the process on an out-of-range element (sequences of integers need a caster of their own).
template <std::integral I>
struct Int {
    I v;
    operator I() const { return v; }
};
using U8 = Int<uint8_t>;
using U16 = Int<uint16_t>;
using U32 = Int<uint32_t>;
using U64 = Int<uint64_t>;
using Usize = Int<size_t>;
using I64 = Int<int64_t>;

/// Reads a Python integer of the width of `I` into `out`: false for non-integers, OverflowError out of range.
template <std::integral I>
bool int_from_python(PyObject* src, I& out);

// ---------------------------------------------------------------------------------------------------------------
// Class rules

/// What a class declares about itself; applied by `finish_class` once its methods are defined.
struct ClassRules {
    /// == and != from the value's equality (NotImplemented for foreign operands).
    bool equality = false;
    /// Keep a `__hash__` (generated or explicit); a class with equality and no hash is unhashable.
    bool hashable = false;
    /// Has a Python constructor; otherwise calling the class raises CPython's TypeError.
    bool constructible = true;
};

/// Applies the rules, forbids subclassing, and sets `__module__` to "builtins".
void finish_class(nb::handle cls, const ClassRules& rules);

/// Defines __eq__ and __ne__ from `operator==` of the value type.
template <class T, class C>
void def_equality(C& cls) {
    cls.def("__eq__", [](const Obj<T>& a, const Obj<T>& b) { return Read<T>(a).operator*() == *Read<T>(b); },
            nb::is_operator());
    cls.def("__ne__", [](const Obj<T>& a, const Obj<T>& b) { return !(*Read<T>(a) == *Read<T>(b)); },
            nb::is_operator());
}

/// Defines <, <=, >, >= from `operator<=>` of the value type.
template <class T, class C>
void def_ordering(C& cls) {
    cls.def("__lt__", [](const Obj<T>& a, const Obj<T>& b) { return (*Read<T>(a) <=> *Read<T>(b)) < 0; },
            nb::is_operator());
    cls.def("__le__", [](const Obj<T>& a, const Obj<T>& b) { return (*Read<T>(a) <=> *Read<T>(b)) <= 0; },
            nb::is_operator());
    cls.def("__gt__", [](const Obj<T>& a, const Obj<T>& b) { return (*Read<T>(a) <=> *Read<T>(b)) > 0; },
            nb::is_operator());
    cls.def("__ge__", [](const Obj<T>& a, const Obj<T>& b) { return (*Read<T>(a) <=> *Read<T>(b)) >= 0; },
            nb::is_operator());
}

/// Defines __str__ from the value's display form `str()`.
template <class T, class C>
void def_str(C& cls) {
    cls.def("__str__", [](const Obj<T>& a) { return Read<T>(a)->str(); });
}

/// Thrown by `def_no_delitem`; translated to NotImplementedError "can't delete item".
struct CantDeleteItem {};

/// Defines __delitem__ raising NotImplementedError "can't delete item" (for classes with item assignment).
template <class T, class C>
void def_no_delitem(C& cls) {
    cls.def("__delitem__", [](Obj<T>&, nb::handle) -> void { throw CantDeleteItem(); });
}

/// The Python hash of a 64-bit value: its low bits at the interpreter's hash width, -1 mapped to -2.
inline Py_hash_t reduce_hash(uint64_t h) {
    auto r = static_cast<Py_hash_t>(h);
    return r == -1 ? -2 : r;
}

// ---------------------------------------------------------------------------------------------------------------
// Module-wide set-up

/// Creates `PanicException` (a BaseException subclass), places it in the runtime module `tandrel._runtime`,
/// and registers the translation of internal failures and of the conventions' own exceptions.
void register_exceptions();

/// Sets the pending Python exception for an internal failure, as the exception translator would. For code that
/// must not throw (nanobind's result casters are noexcept) and reports failure by returning a null handle.
void set_panic_error(const std::exception& failure);

/// Makes every bound function's `__doc__` its docstring alone and gives it a `__text_signature__`, so that
/// functions read like CPython builtins ("($self)" and the description). Takes one instance method and one
/// static method of any class, whose types are patched for every function of the module.
void install_text_signatures(nb::handle any_method, nb::handle any_function);

}  // namespace tandrel::py

namespace nanobind::detail {

template <std::integral I>
struct type_caster<tandrel::py::Int<I>> {
    NB_TYPE_CASTER(tandrel::py::Int<I>, const_name("int"))

    bool from_python(handle src, uint8_t, cleanup_list*) noexcept(false) {
        return tandrel::py::int_from_python<I>(src.ptr(), value.v);
    }
    static handle from_cpp(const tandrel::py::Int<I>& v, rv_policy, cleanup_list*) noexcept {
        if constexpr (std::is_signed_v<I>)
            return PyLong_FromLongLong(static_cast<long long>(v.v));
        else
            return PyLong_FromUnsignedLongLong(static_cast<unsigned long long>(v.v));
    }
};

}  // namespace nanobind::detail

namespace tandrel::py {

template <std::integral I>
bool int_from_python(PyObject* src, I& out) {
    if (!PyIndex_Check(src)) return false;
    PyObject* idx = PyNumber_Index(src);
    if (!idx) throw nb::python_error();
    int overflow = 0;
    bool ok;
    if constexpr (std::is_signed_v<I>) {
        long long v = PyLong_AsLongLongAndOverflow(idx, &overflow);
        ok = !overflow && !(v == -1 && PyErr_Occurred()) && v >= static_cast<long long>(std::numeric_limits<I>::min()) &&
             v <= static_cast<long long>(std::numeric_limits<I>::max());
        out = static_cast<I>(v);
    } else {
        long long v = PyLong_AsLongLongAndOverflow(idx, &overflow);
        if (overflow > 0) {
            unsigned long long u = PyLong_AsUnsignedLongLong(idx);
            ok = !PyErr_Occurred() && u <= static_cast<unsigned long long>(std::numeric_limits<I>::max());
            out = static_cast<I>(u);
        } else {
            ok = !overflow && !(v == -1 && PyErr_Occurred()) && v >= 0 &&
                 static_cast<unsigned long long>(v) <= static_cast<unsigned long long>(std::numeric_limits<I>::max());
            out = static_cast<I>(v);
        }
    }
    Py_DECREF(idx);
    if (!ok) {
        PyErr_Clear();
        throw std::overflow_error("out of range integral type conversion attempted");
    }
    return true;
}

}  // namespace tandrel::py
