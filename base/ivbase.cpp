// IVBase: the default text descriptions.
#include "base/ivbase.hpp"

#include "base/istring.hpp"

IString IVBase::asString() const { return "IVBase object"; }

IString IVBase::asDebugInfo() const { return "IVBase object"; }
