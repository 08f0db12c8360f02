// INTERNAL to the hive registry backend (hive_registry*.cpp): access rights,
// path splitting, the calling thread's failure detail, and the template that
// wraps every call.
//
// Thread safety: the helpers keep no state but the calling thread's detail.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "registry/hive/hive_registry.hpp"
#include "registry/registry_result.hpp"
#include "registry/registry_rules.hpp"

namespace vrk::reg::hive {

// The detail of the calling thread's last failed call.
extern thread_local std::string failureDetail;


}  // namespace vrk::reg::hive

namespace vrk::reg::hive {

template <class F>
long HiveRegistry::guarded(F&& body) {
    long rc;
    try {
        rc = body();
        if (rc != kSuccess) failureDetail.clear();
    } catch (const Failure& f) {
        rc = f.error;
        failureDetail = f.detail;
    } catch (const std::bad_alloc&) {
        rc = kNotEnoughMemory;
        failureDetail = "out of memory";
    }
    return finish(rc);
}

}  // namespace vrk::reg::hive
