// IApplication and ICurrentApplication: the process-wide application object.
#include "base/iapp.hpp"

#include "platform/process.hpp"

#include <cstdint>

namespace {

IString addressText(const void* address) {
    return IString(static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(address)));
}

}  // namespace

IApplication::IApplication() : idValue(0) {}

IApplication::~IApplication() = default;

ICurrentApplication& IApplication::current() {
    // Made on first use, by whichever thread comes first (a thread-safe
    // static), and never destroyed.
    static ICurrentApplication* const current = [] {
        ICurrentApplication* made = new ICurrentApplication();
        made->setId(vrk::platform::currentProcessId());
        return made;
    }();
    return *current;
}

IString IApplication::asString() const { return asDebugInfo(); }

IString IApplication::asDebugInfo() const {
    return "IApplication(@" + addressText(this) + ",id=" + IString(idValue) + ")";
}

unsigned long IApplication::id() const { return idValue; }

IApplication& IApplication::setId(unsigned long id) {
    idValue = id;
    return *this;
}

ICurrentApplication::ICurrentApplication()
    : torqaLib(nullptr), userLib(nullptr), argCount(0), argValue(nullptr) {}

ICurrentApplication::~ICurrentApplication() { delete[] argValue; }

IString ICurrentApplication::asString() const { return asDebugInfo(); }

IString ICurrentApplication::asDebugInfo() const {
    return "ICurrentApplication(@" + addressText(this) + ",id=" + IString(id()) +
           ",torqaLib=" + addressText(torqaLib) + ",userLib=" + addressText(userLib) +
           ",argCount=" + IString(argCount) + ",argValue=" + addressText(argValue) + ")";
}

int ICurrentApplication::argc() const { return argCount; }

IString ICurrentApplication::argv(int n) const {
    if (n < 0 || n >= argCount) return IString();
    return argValue[n];
}

ICurrentApplication& ICurrentApplication::setArgs(int argc, char** argv) {
    // Build the new set first, so that a failed allocation keeps the old one.
    IString* values = nullptr;
    if (argc > 0) {
        values = new IString[argc];
        if (argv != nullptr) {
            try {
                for (int i = 0; i < argc; ++i) values[i] = IString(argv[i]);
            } catch (...) {
                delete[] values;
                throw;
            }
        }
    }
    delete[] argValue;
    argValue = values;
    argCount = argc > 0 ? argc : 0;
    return *this;
}
