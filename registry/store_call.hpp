// What the stores of our own (the SQLite store and hive files) do around
// every registry call: a failure of theirs is an error number with its
// explanation, the calling thread keeps the explanation of its last failed
// call (lastFailureDetail), and every call ends in finish(), which makes the
// result the thread's last-error value as well.
//
// Thread safety: the only state is the calling thread's explanation.
#pragma once

#include <cstdint>
#include <new>
#include <string>

#include "registry/iregistry.hpp"
#include "registry/registry_result.hpp"

namespace vrk::reg {

// A failure of a store's own: an error number and its explanation.
struct Failure {
    long error;
    std::string detail;
};

// The explanation of the calling thread's last failed call.
std::string& callFailureDetail();

// Runs body (returning an error number) as one registry call: a Failure or
// an exhausted memory becomes the call's error number and explanation; a
// failure body returns itself has no explanation.
template <class F>
long guardedCall(F&& body) {
    long rc;
    try {
        rc = body();
        if (rc != kSuccess) callFailureDetail().clear();
    } catch (const Failure& f) {
        rc = f.error;
        callFailureDetail() = f.detail;
    } catch (const std::bad_alloc&) {
        rc = kNotEnoughMemory;
        callFailureDetail() = "out of memory";
    }
    return finish(rc);
}

// closeKey of a store whose open handles are kept in a map by the handle's
// value: a root closes as a no-op, an unknown handle is kInvalidHandle.
template <class Handles>
long closeHandleIn(Handles& handles, Key key) {
    return guardedCall([&]() -> long {
        if (isRootKey(key)) return kSuccess;
        return handles.erase(key.value) == 1 ? kSuccess : kInvalidHandle;
    });
}

// The value of a new handle of a store's own: the next multiple of 4 from
// next on that is not 0, not one of the roots' values and not in use.
template <class Handles>
std::uintptr_t newHandleValue(std::uintptr_t& next, const Handles& handles) {
    std::uintptr_t value;
    do {
        value = next;
        next += 4;
        if (next >= kClassesRoot.value && next <= kUsers.value) next = kUsers.value + 4;
    } while (handles.count(value) != 0 || value == 0);
    return value;
}

}  // namespace vrk::reg
