#include "classes.h"

namespace tandrel::py {

void declare_raw_eccs(nanobind::module_&) {}
void define_raw_eccs() {}

}  // namespace tandrel::py
