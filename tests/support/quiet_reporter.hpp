// An exception reporter that writes nothing, so that the failures a test
// expects stay off the console.
#pragma once

#include "diag/iexc.hpp"

namespace vrk::testing {

class QuietReporter : public IExceptionReporter {
public:
    void writeLine(const char*) override {}
    void reportException(const IException&) override {}
    void afterReport() override {}
};

}  // namespace vrk::testing
