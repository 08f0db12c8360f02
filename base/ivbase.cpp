// IVBase: the default text descriptions.
#include "base/ivbase.hpp"

#include "base/istring.hpp"

IVBase::~IVBase() = default;

IString IVBase::asString() const { return "IVBase object"; }

IString IVBase::asDebugInfo() const { return "IVBase object"; }
