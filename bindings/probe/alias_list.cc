// Probes of the shared lists (an arena of 32-bit elements, lists as their cell indices) and the join helpers.
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include <cstdint>
#include <string>
#include <vector>

#include "conventions.h"
#include "core/alias_list.h"
#include "core/fmt.h"
#include "probe/probe.h"

namespace tandrel::probe {

namespace nb = nanobind;
using py::U32;

namespace {

using Arena = AliasArena<uint32_t>;
using List = AliasList<uint32_t>;

List list(U32 index) { return List{index}; }

}  // namespace

void probe_alias_list(nb::module_& m) {
    m.attr("ALIAS_NIL") = List::NIL_INDEX;

    nb::class_<Arena>(m, "AliasArenaU32")
        .def(nb::init<>())
        .def("cons", [](Arena& a, U32 tail, U32 head) { return a.cons(list(tail), head).index; })
        .def("delete", [](Arena& a, U32 l) { a.del(list(l)); })
        .def("is_live", [](const Arena& a, U32 l) { return a.is_live(list(l)); })
        .def("head", [](const Arena& a, U32 l) { return a.cell(list(l)).head; })
        .def("tail", [](const Arena& a, U32 l) { return a.cell(list(l)).tail.index; })
        // Newest first, through the iterator's own `next`.
        .def("items",
             [](const Arena& a, U32 l) {
                 std::vector<uint32_t> out;
                 AliasIter<uint32_t> it = a.iter(list(l));
                 while (const uint32_t* x = it.next()) out.push_back(*x);
                 return out;
             })
        // Oldest first, appended after `prefix`.
        .def("in_order",
             [](const Arena& a, U32 l, std::vector<uint32_t> prefix) {
                 a.append_in_order(list(l), prefix);
                 return prefix;
             })
        // The display of a list through the join helper over the iterator's range form.
        .def("join",
             [](const Arena& a, U32 l, const std::string& sep) {
                 std::string out;
                 AliasIter<uint32_t> it = a.iter(list(l));
                 fjoin(out, it.begin(), it.end(), sep);
                 return out;
             })
        .def("live_cells", &Arena::live_cells)
        .def("made_cells", &Arena::made_cells)
        .def("copy", [](const Arena& a) { return Arena(a); });

    m.def("fjoin", [](const std::vector<std::string>& items, const std::string& sep) {
        std::string out;
        fjoin(out, items.begin(), items.end(), sep);
        return out;
    });
    m.def("fjoin_ints", [](const std::vector<int64_t>& items, const std::string& sep) { return join(items, sep); });
    // Appends between "<" and ">", so that the result shows that nothing before the output is touched.
    m.def("fjoin_opt_braces", [](const std::vector<std::string>& items, const std::string& sep,
                                 const std::string& start, const std::string& end) {
        std::string out = "<";
        fjoin_opt_braces(out, items.begin(), items.end(), sep, start, end);
        return out + ">";
    });
}

}  // namespace tandrel::probe
