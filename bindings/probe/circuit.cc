#include "probe/probe.h"

namespace tandrel::probe {

void probe_circuit(nanobind::module_&) {}

}  // namespace tandrel::probe
