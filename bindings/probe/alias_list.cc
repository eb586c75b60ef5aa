#include "probe/probe.h"

namespace tandrel::probe {

void probe_alias_list(nanobind::module_&) {}

}  // namespace tandrel::probe
