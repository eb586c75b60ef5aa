#include "conventions.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.h"
#include "core/panic.h"

namespace tandrel::py {

namespace {

PyObject* panic_exception = nullptr;

constexpr const char* PANIC_DOC =
    "The exception raised when an internal failure of the module occurs.\n\n"
    "Like SystemExit it derives from BaseException, so that it normally propagates all the way up and ends the "
    "interpreter.";

PyObject* refuse_new(PyTypeObject* type, PyObject*, PyObject*) {
    PyErr_Format(PyExc_TypeError, "cannot create '%s' instances", type->tp_name);
    return nullptr;
}

// ---- text signatures ------------------------------------------------------------------------------------------

getattrofunc original_func_getattro = nullptr;
getattrofunc original_method_getattro = nullptr;
getattrofunc original_bound_getattro = nullptr;

/// The single overload's (signature, doc, defaults) triple, or null when the function has several.
PyObject* single_overload(PyObject* func, getattrofunc getattro) {
    PyObject* name = PyUnicode_FromString("__nb_signature__");
    PyObject* sigs = getattro(func, name);
    Py_DECREF(name);
    if (!sigs) return nullptr;
    PyObject* one = nullptr;
    if (PyTuple_Check(sigs) && PyTuple_GET_SIZE(sigs) == 1) {
        one = PyTuple_GET_ITEM(sigs, 0);
        Py_INCREF(one);
    }
    Py_DECREF(sigs);
    return one;
}

/// Splits the parameter list of a rendered "def name(a: T, b: U = \0) -> R" at top-level commas.
std::vector<std::string> split_params(std::string_view sig) {
    std::vector<std::string> out;
    size_t open = sig.find('(');
    if (open == std::string_view::npos) return out;
    int depth = 0;
    std::string cur;
    for (size_t i = open + 1; i < sig.size(); ++i) {
        char c = sig[i];
        if (c == '(' || c == '[' || c == '{') ++depth;
        if (c == ')' || c == ']' || c == '}') {
            if (depth == 0) break;
            --depth;
        }
        if (c == ',' && depth == 0) {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

std::string strip(std::string_view s) {
    size_t a = s.find_first_not_of(' ');
    size_t b = s.find_last_not_of(' ');
    if (a == std::string_view::npos) return "";
    return std::string(s.substr(a, b - a + 1));
}

/// "($self, index, value=None)" from nanobind's rendered signature and its defaults tuple.
PyObject* text_signature(PyObject* overload) {
    const char* sig = PyUnicode_AsUTF8(PyTuple_GET_ITEM(overload, 0));
    if (!sig) return nullptr;
    PyObject* defaults = PyTuple_GET_ITEM(overload, 2);
    std::string out = "(";
    bool first = true;
    for (const std::string& raw : split_params(sig)) {
        std::string p = strip(raw);
        if (p.empty()) continue;
        size_t colon = p.find(':');
        size_t eq = p.find(" = ");
        std::string name = strip(p.substr(0, std::min(colon, eq)));
        if (first && name == "self") name = "$self";
        if (!first) out += ", ";
        first = false;
        out += name;
        if (eq != std::string::npos) {
            std::string d = strip(p.substr(eq + 3));
            out += '=';
            if (d.size() > 1 && d[0] == '\\' && PyTuple_Check(defaults)) {
                Py_ssize_t k = std::stol(d.substr(1));
                PyObject* r = k < PyTuple_GET_SIZE(defaults) ? PyObject_Repr(PyTuple_GET_ITEM(defaults, k)) : nullptr;
                if (r) {
                    out += PyUnicode_AsUTF8(r);
                    Py_DECREF(r);
                } else {
                    PyErr_Clear();
                    out += "...";
                }
            } else {
                out += d;
            }
        }
    }
    out += ')';
    return PyUnicode_FromString(out.c_str());
}

/// `__doc__` and `__text_signature__` of a bound function, read through the given original getattro.
PyObject* signature_attr(PyObject* func, PyObject* name, getattrofunc getattro, bool* handled) {
    const char* n = PyUnicode_AsUTF8(name);
    *handled = false;
    if (!n) return nullptr;
    const bool doc = std::strcmp(n, "__doc__") == 0;
    const bool text_sig = std::strcmp(n, "__text_signature__") == 0;
    if (!doc && !text_sig) return nullptr;
    *handled = true;
    PyObject* one = single_overload(func, getattro);
    if (!one) {
        if (PyErr_Occurred()) return nullptr;
        if (text_sig) Py_RETURN_NONE;
        *handled = false;  // several overloads: nanobind's own rendering lists them all
        return nullptr;
    }
    PyObject* result;
    if (doc) {
        result = PyTuple_GET_ITEM(one, 1);
        Py_INCREF(result);
    } else {
        result = text_signature(one);
    }
    Py_DECREF(one);
    return result;
}

PyObject* func_getattro(PyObject* self, PyObject* name) {
    bool handled;
    PyObject* r = signature_attr(self, name, original_func_getattro, &handled);
    return handled ? r : original_func_getattro(self, name);
}

PyObject* method_getattro(PyObject* self, PyObject* name) {
    bool handled;
    PyObject* r = signature_attr(self, name, original_method_getattro, &handled);
    return handled ? r : original_method_getattro(self, name);
}

PyObject* bound_getattro(PyObject* self, PyObject* name) {
    const char* n = PyUnicode_AsUTF8(name);
    if (n && (std::strcmp(n, "__doc__") == 0 || std::strcmp(n, "__text_signature__") == 0)) {
        PyObject* func = PyObject_GetAttrString(self, "__func__");
        if (!func) return nullptr;
        PyObject* r = PyObject_GetAttr(func, name);
        Py_DECREF(func);
        return r;
    }
    return original_bound_getattro(self, name);
}

}  // namespace

void finish_class(nb::handle cls, const ClassRules& rules) {
    auto* tp = reinterpret_cast<PyTypeObject*>(cls.ptr());
    tp->tp_flags &= ~Py_TPFLAGS_BASETYPE;
    if (!rules.constructible) {
        // Construction goes through the metaclass's vectorcall unless it is cleared; then CPython's type_call
        // reaches tp_new.
        tp->tp_new = refuse_new;
        tp->tp_vectorcall = nullptr;
    }
    if (rules.equality && !rules.hashable) nb::setattr(cls, "__hash__", nb::none());
    nb::setattr(cls, "__module__", nb::str("builtins"));
    PyType_Modified(tp);
}

void register_exceptions() {
    if (!panic_exception) {
        panic_exception = PyErr_NewExceptionWithDoc("tandrel.PanicException", PANIC_DOC, PyExc_BaseException, nullptr);
        if (!panic_exception) throw nb::python_error();
        nb::module_ runtime = nb::steal<nb::module_>(PyModule_New("tandrel._runtime"));
        nb::setattr(runtime, "__doc__", nb::str("Runtime objects of the extension module that are not classes."));
        nb::setattr(runtime, "PanicException", nb::handle(panic_exception));
        nb::module_::import_("sys").attr("modules")["tandrel._runtime"] = runtime;
    }
    nb::register_exception_translator([](const std::exception_ptr& p, void*) {
        try {
            std::rethrow_exception(p);
        } catch (const Panic& e) {
            PyErr_SetString(panic_exception, e.what());
        } catch (const CantDeleteItem&) {
            PyErr_SetString(PyExc_NotImplementedError, "can't delete item");
        } catch (const FileError& e) {
            PyErr_SetString(PyExc_OSError, e.what());
        } catch (const FormatError& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        }
    });
}

void set_panic_error(const std::exception& failure) { PyErr_SetString(panic_exception, failure.what()); }

void install_text_signatures(nb::handle any_method, nb::handle any_function) {
    if (original_method_getattro) return;
    auto patch = [](PyTypeObject* tp, getattrofunc& original, getattrofunc replacement) {
        original = tp->tp_getattro;
        tp->tp_getattro = replacement;
        PyType_Modified(tp);
    };
    patch(Py_TYPE(any_method.ptr()), original_method_getattro, method_getattro);
    patch(Py_TYPE(any_function.ptr()), original_func_getattro, func_getattro);
    // Binding a method to any object yields the bound-method type.
    nb::object bound = nb::steal(Py_TYPE(any_method.ptr())->tp_descr_get(any_method.ptr(), Py_None, nullptr));
    if (!bound.is_valid()) throw nb::python_error();
    patch(Py_TYPE(bound.ptr()), original_bound_getattro, bound_getattro);
}

}  // namespace tandrel::py
