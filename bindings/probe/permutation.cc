#include "probe/probe.h"

namespace tandrel::probe {

void probe_permutation(nanobind::module_&) {}

}  // namespace tandrel::probe
