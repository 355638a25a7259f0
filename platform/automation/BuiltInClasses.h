#pragma once

#include "Automation.h"

namespace Automation {

// Registers the classes this build provides (the spreadsheet program stand-in
// when the build has its writer, nothing otherwise).
using Register = std::function<void(const QString& progId, const Guid& clsid, std::uint32_t contexts, ClassFactory)>;
void registerBuiltInClasses(const Register& add);

} // namespace Automation
