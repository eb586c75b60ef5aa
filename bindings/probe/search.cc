#include "probe/probe.h"

namespace tandrel::probe {

void probe_search(nanobind::module_&) {}

}  // namespace tandrel::probe
