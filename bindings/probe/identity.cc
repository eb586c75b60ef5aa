#include "probe/probe.h"

namespace tandrel::probe {

void probe_identity(nanobind::module_&) {}

}  // namespace tandrel::probe
