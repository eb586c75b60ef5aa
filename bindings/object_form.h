// The object form of circuits at the Python boundary: plain dicts, lists, tuples, strings and ints.
#pragma once

#include <nanobind/nanobind.h>

#include "circuit/circ.h"

namespace tandrel::py {

/// The object form of `c`: {"instrs": [(gate, (q0, q1)), ...], "perm": {"raw": word}}, all new objects.
nanobind::object circ_to_object(const Circ& c);

/// Reads the object form. Shape errors raise TypeError, ValueError or Exception with the form's messages,
/// integer conversions raise their own errors, an unknown gate string is an internal failure.
Circ circ_from_object(nanobind::handle obj);

}  // namespace tandrel::py
