#include "classes.h"

namespace tandrel::py {

void declare_gate(nanobind::module_&) {}
void define_gate() {}

}  // namespace tandrel::py
