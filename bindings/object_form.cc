// Nodes over Python objects for the object-form walk, and the writer of the form.
#include "object_form.h"

#include <nanobind/stl/string.h>

#include <string>

#include "conventions.h"
#include "persist/object_form.h"

namespace tandrel::py {

namespace {

/// An abstract base class of collections.abc, looked up once and kept for the life of the process.
PyObject* abc(const char* name) {
    nb::object cls = nb::module_::import_("collections.abc").attr(name);
    return cls.release().ptr();
}

bool is_instance(PyObject* obj, PyObject* cls) {
    const int r = PyObject_IsInstance(obj, cls);
    if (r < 0) throw nb::python_error();
    return r == 1;
}

/// A Python object as a node of the object-form walk.
class PyNode {
  public:
    explicit PyNode(nb::object obj) : obj_(std::move(obj)) {}

    /// A dict (or subclass), or any collections.abc.Mapping.
    bool is_mapping() const {
        static PyObject* const MAPPING = abc("Mapping");
        return PyDict_Check(obj_.ptr()) || is_instance(obj_.ptr(), MAPPING);
    }

    /// f(key, value) over the mapping's keys and values, taken as two lists and walked together.
    template <class F>
    void for_each_entry(F&& f) const {
        nb::object keys = nb::steal(PyMapping_Keys(obj_.ptr()));
        if (!keys.is_valid()) throw nb::python_error();
        nb::object values = nb::steal(PyMapping_Values(obj_.ptr()));
        if (!values.is_valid()) throw nb::python_error();
        const Py_ssize_t n = std::min(PyList_GET_SIZE(keys.ptr()), PyList_GET_SIZE(values.ptr()));
        for (Py_ssize_t i = 0; i < n; ++i)
            f(PyNode(nb::borrow(PyList_GET_ITEM(keys.ptr(), i))), PyNode(nb::borrow(PyList_GET_ITEM(values.ptr(), i))));
    }

    std::optional<std::string> as_string() const {
        if (!PyUnicode_Check(obj_.ptr())) return std::nullopt;
        Py_ssize_t len = 0;
        const char* text = PyUnicode_AsUTF8AndSize(obj_.ptr(), &len);
        if (!text) throw nb::python_error();
        return std::string(text, size_t(len));
    }

    /// A list or tuple (or subclass), or any collections.abc.Sequence (str among them).
    bool is_sequence() const {
        static PyObject* const SEQUENCE = abc("Sequence");
        PyObject* o = obj_.ptr();
        return PyList_Check(o) || PyTuple_Check(o) || is_instance(o, SEQUENCE);
    }

    size_t size() const {
        const Py_ssize_t n = PyObject_Size(obj_.ptr());
        if (n < 0) throw nb::python_error();
        return size_t(n);
    }

    PyNode item(size_t i) const {
        nb::object item = nb::steal(PySequence_GetItem(obj_.ptr(), Py_ssize_t(i)));
        if (!item.is_valid()) throw nb::python_error();
        return PyNode(std::move(item));
    }

    /// A set or frozenset (or subclass).
    bool is_set() const { return PyAnySet_Check(obj_.ptr()); }

    template <class F>
    void for_each_member(F&& f) const {
        nb::object it = nb::steal(PyObject_GetIter(obj_.ptr()));
        if (!it.is_valid()) throw nb::python_error();
        while (PyObject* member = PyIter_Next(it.ptr())) f(PyNode(nb::steal(member)));
        if (PyErr_Occurred()) throw nb::python_error();
    }

    uint8_t to_u8() const { return to_int<uint8_t>(); }
    uint32_t to_u32() const { return to_int<uint32_t>(); }

    std::string type_name() const {
        nb::object name = nb::steal(PyType_GetQualName(Py_TYPE(obj_.ptr())));
        if (!name.is_valid()) throw nb::python_error();
        return nb::cast<std::string>(name);
    }

  private:
    /// The integer conversion of every integer argument: OverflowError outside the width, TypeError for
    /// objects without __index__.
    template <class I>
    I to_int() const {
        I v;
        if (!int_from_python<I>(obj_.ptr(), v))
            throw nb::type_error(("'" + type_name() + "' object cannot be interpreted as an integer").c_str());
        return v;
    }

    nb::object obj_;
};

static_assert(object_form::FormNode<PyNode>);

}  // namespace

nb::object circ_to_object(const Circ& c) {
    nb::list instrs;
    for (const Instr32& i : c.instrs) {
        nb::tuple qargs = nb::make_tuple(int(i.qargs.raw[0]), int(i.qargs.raw[1]));
        instrs.append(nb::make_tuple(nb::str(object_form::gate_to_form(i.gate).c_str()), qargs));
    }
    nb::dict perm;
    perm[nb::str(object_form::RAW.data(), object_form::RAW.size())] = nb::int_(c.perm.raw);
    nb::dict out;
    out[nb::str(object_form::INSTRS.data(), object_form::INSTRS.size())] = instrs;
    out[nb::str(object_form::PERM.data(), object_form::PERM.size())] = perm;
    return out;
}

Circ circ_from_object(nb::handle obj) {
    try {
        return object_form::read_circ(PyNode(nb::borrow(obj)));
    } catch (const object_form::ReadError& e) {
        switch (e.kind) {
            case object_form::ReadError::Kind::type:
                throw nb::type_error(e.what());
            case object_form::ReadError::Kind::value:
                throw nb::value_error(e.what());
            case object_form::ReadError::Kind::field:
                break;
        }
        PyErr_SetString(PyExc_Exception, e.what());
        throw nb::python_error();
    }
}

}  // namespace tandrel::py
