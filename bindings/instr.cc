#include "classes.h"

namespace tandrel::py {

void declare_instr(nanobind::module_&) {}
void define_instr() {}

}  // namespace tandrel::py
