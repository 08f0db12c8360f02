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

#include "platform/registry/hive/hive_registry.hpp"
#include "platform/registry/registry_result.hpp"

namespace vrk::reg::hive {

// Access rights (winnt.h values) as they matter here.
constexpr std::uint32_t kQueryValue = 0x0001;
constexpr std::uint32_t kSetValue = 0x0002;
constexpr std::uint32_t kCreateSubKey = 0x0004;
constexpr std::uint32_t kEnumerateSubKeys = 0x0008;
constexpr std::uint32_t kAllRights = 0x000F003F;

constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;

// The detail of the calling thread's last failed call.
extern thread_local std::string failureDetail;


// The rights an access mask asks for, generic rights mapped.
std::uint32_t grantedRights(std::uint32_t access);

// Splits a key path into its names: kBadPathname for a leading backslash,
// kInvalidParameter for an empty or over-long name; trailing backslashes
// are ignored and "" (or null) names the key itself.
long splitPath(const char* path, std::vector<std::string_view>& parts);

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
