#include "BuiltInClasses.h"

namespace Automation {

void registerBuiltInClasses(const Register&) {}

} // namespace Automation
