#include "classes.h"

namespace tandrel::py {

void declare_circ(nanobind::module_&) {}
void define_circ() {}

}  // namespace tandrel::py
