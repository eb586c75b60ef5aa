// Probe functions of the finished classes: building a collection from plain values, and the JSON writer.
#include <nanobind/stl/pair.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include "conventions.h"
#include "core/json.h"
#include "permut32_caster.h"
#include "probe/probe.h"
#include "search/eccs.h"

namespace nb = nanobind;

namespace tandrel::probe {

using Member = std::pair<std::vector<py::Obj<Instr32>>, Permut32>;

void probe_eccs(nb::module_& m) {
    // A collection from classes given as lists of (instructions, permutation) members.
    m.def("make_eccs", [](const std::vector<std::vector<Member>>& classes, size_t nqubits) {
        ECCs out;
        out.nqubits = nqubits;
        for (const auto& cls : classes) {
            ECC& e = out.eccs.emplace_back();
            for (const auto& [instrs, perm] : cls) {
                EccMember& mem = e.members.emplace_back();
                mem.perm = perm;
                for (const auto& i : instrs) mem.instrs.push_back(*py::Read(i));
            }
        }
        return py::Obj<ECCs>(std::move(out));
    });
    m.def("json_string", [](const std::string& s) { return Json(s).dump(); });
}

}  // namespace tandrel::probe
