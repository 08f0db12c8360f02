// Forwarding, fault-injecting and counting registry wrappers.
#include "platform/registry/registry_wrappers.hpp"

#include <algorithm>

#include "platform/process.hpp"

namespace vrk::reg {

namespace {
std::size_t slot(RegCall call) { return static_cast<std::size_t>(call); }
}  // namespace

// ---- ForwardingRegistry ----------------------------------------------------

ForwardingRegistry::ForwardingRegistry(Registry& target) : target_(target) {}

long ForwardingRegistry::createKeyEx(Key parent, const char* subKey, std::uint32_t options,
                                     std::uint32_t access, Key* result,
                                     std::uint32_t* disposition) {
    return target_.createKeyEx(parent, subKey, options, access, result, disposition);
}
long ForwardingRegistry::openKeyEx(Key parent, const char* subKey, std::uint32_t access,
                                   Key* result) {
    return target_.openKeyEx(parent, subKey, access, result);
}
long ForwardingRegistry::queryValueEx(Key key, const char* valueName, std::uint32_t* type,
                                      unsigned char* data, std::uint32_t* size) {
    return target_.queryValueEx(key, valueName, type, data, size);
}
long ForwardingRegistry::setValueEx(Key key, const char* valueName, std::uint32_t type,
                                    const unsigned char* data, std::uint32_t size) {
    return target_.setValueEx(key, valueName, type, data, size);
}
long ForwardingRegistry::deleteKey(Key key, const char* subKey) {
    return target_.deleteKey(key, subKey);
}
long ForwardingRegistry::deleteValue(Key key, const char* valueName) {
    return target_.deleteValue(key, valueName);
}
long ForwardingRegistry::enumKey(Key key, std::uint32_t index, char* name,
                                 std::uint32_t nameSize) {
    return target_.enumKey(key, index, name, nameSize);
}
long ForwardingRegistry::enumValue(Key key, std::uint32_t index, char* name,
                                   std::uint32_t* nameSize, std::uint32_t* type,
                                   unsigned char* data, std::uint32_t* dataSize) {
    return target_.enumValue(key, index, name, nameSize, type, data, dataSize);
}
long ForwardingRegistry::closeKey(Key key) { return target_.closeKey(key); }
long ForwardingRegistry::createKey(Key parent, const char* subKey, Key* result) {
    return target_.createKey(parent, subKey, result);
}
long ForwardingRegistry::openKey(Key parent, const char* subKey, Key* result) {
    return target_.openKey(parent, subKey, result);
}
long ForwardingRegistry::queryValue(Key key, const char* subKey, char* data, std::int32_t* size) {
    return target_.queryValue(key, subKey, data, size);
}
long ForwardingRegistry::setValue(Key key, const char* subKey, std::uint32_t type,
                                  const char* data, std::uint32_t size) {
    return target_.setValue(key, subKey, type, data, size);
}
long ForwardingRegistry::beginBatch() { return target_.beginBatch(); }
long ForwardingRegistry::commitBatch() { return target_.commitBatch(); }
long ForwardingRegistry::rollbackBatch() { return target_.rollbackBatch(); }
const char* ForwardingRegistry::lastFailureDetail() const { return target_.lastFailureDetail(); }

// ---- FaultInjectingRegistry ------------------------------------------------

FaultInjectingRegistry::FaultInjectingRegistry(Registry& target) : ForwardingRegistry(target) {}

void FaultInjectingRegistry::failCall(RegCall call, unsigned nth, long error, bool persistent) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.push_back(Fault{call, counts_[slot(call)] + (nth == 0 ? 1 : nth), error, persistent});
}

void FaultInjectingRegistry::clearFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

unsigned FaultInjectingRegistry::calls(RegCall call) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counts_[slot(call)];
}

long FaultInjectingRegistry::intercept(RegCall call) {
    long error = kSuccess;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        unsigned n = ++counts_[slot(call)];
        for (auto it = faults_.begin(); it != faults_.end(); ++it) {
            if (it->call != call) continue;
            if (n == it->at || (it->persistent && n > it->at)) {
                error = it->error;
                if (!it->persistent) faults_.erase(it);
                break;
            }
        }
    }
    if (error != kSuccess) platform::setLastError(static_cast<std::uint32_t>(error));
    return error;
}

namespace {
void clearHandle(Key* result) {
    if (result) *result = kNullKey;
}
}  // namespace

long FaultInjectingRegistry::createKeyEx(Key parent, const char* subKey, std::uint32_t options,
                                         std::uint32_t access, Key* result,
                                         std::uint32_t* disposition) {
    if (long e = intercept(RegCall::createKeyEx)) return clearHandle(result), e;
    return ForwardingRegistry::createKeyEx(parent, subKey, options, access, result, disposition);
}
long FaultInjectingRegistry::openKeyEx(Key parent, const char* subKey, std::uint32_t access,
                                       Key* result) {
    if (long e = intercept(RegCall::openKeyEx)) return clearHandle(result), e;
    return ForwardingRegistry::openKeyEx(parent, subKey, access, result);
}
long FaultInjectingRegistry::queryValueEx(Key key, const char* valueName, std::uint32_t* type,
                                          unsigned char* data, std::uint32_t* size) {
    if (long e = intercept(RegCall::queryValueEx)) return e;
    return ForwardingRegistry::queryValueEx(key, valueName, type, data, size);
}
long FaultInjectingRegistry::setValueEx(Key key, const char* valueName, std::uint32_t type,
                                        const unsigned char* data, std::uint32_t size) {
    if (long e = intercept(RegCall::setValueEx)) return e;
    return ForwardingRegistry::setValueEx(key, valueName, type, data, size);
}
long FaultInjectingRegistry::deleteKey(Key key, const char* subKey) {
    if (long e = intercept(RegCall::deleteKey)) return e;
    return ForwardingRegistry::deleteKey(key, subKey);
}
long FaultInjectingRegistry::deleteValue(Key key, const char* valueName) {
    if (long e = intercept(RegCall::deleteValue)) return e;
    return ForwardingRegistry::deleteValue(key, valueName);
}
long FaultInjectingRegistry::enumKey(Key key, std::uint32_t index, char* name,
                                     std::uint32_t nameSize) {
    if (long e = intercept(RegCall::enumKey)) return e;
    return ForwardingRegistry::enumKey(key, index, name, nameSize);
}
long FaultInjectingRegistry::enumValue(Key key, std::uint32_t index, char* name,
                                       std::uint32_t* nameSize, std::uint32_t* type,
                                       unsigned char* data, std::uint32_t* dataSize) {
    if (long e = intercept(RegCall::enumValue)) return e;
    return ForwardingRegistry::enumValue(key, index, name, nameSize, type, data, dataSize);
}
long FaultInjectingRegistry::closeKey(Key key) {
    if (long e = intercept(RegCall::closeKey)) return e;
    return ForwardingRegistry::closeKey(key);
}
long FaultInjectingRegistry::createKey(Key parent, const char* subKey, Key* result) {
    if (long e = intercept(RegCall::createKey)) return clearHandle(result), e;
    return ForwardingRegistry::createKey(parent, subKey, result);
}
long FaultInjectingRegistry::openKey(Key parent, const char* subKey, Key* result) {
    if (long e = intercept(RegCall::openKey)) return clearHandle(result), e;
    return ForwardingRegistry::openKey(parent, subKey, result);
}
long FaultInjectingRegistry::queryValue(Key key, const char* subKey, char* data,
                                        std::int32_t* size) {
    if (long e = intercept(RegCall::queryValue)) return e;
    return ForwardingRegistry::queryValue(key, subKey, data, size);
}
long FaultInjectingRegistry::setValue(Key key, const char* subKey, std::uint32_t type,
                                      const char* data, std::uint32_t size) {
    if (long e = intercept(RegCall::setValue)) return e;
    return ForwardingRegistry::setValue(key, subKey, type, data, size);
}
long FaultInjectingRegistry::beginBatch() {
    if (long e = intercept(RegCall::beginBatch)) return e;
    return ForwardingRegistry::beginBatch();
}
long FaultInjectingRegistry::commitBatch() {
    // A commit that fails leaves nothing of the batch behind, as a failed
    // commit of the store does.
    if (long e = intercept(RegCall::commitBatch)) {
        ForwardingRegistry::rollbackBatch();
        platform::setLastError(static_cast<std::uint32_t>(e));
        return e;
    }
    return ForwardingRegistry::commitBatch();
}
long FaultInjectingRegistry::rollbackBatch() {
    if (long e = intercept(RegCall::rollbackBatch)) return e;
    return ForwardingRegistry::rollbackBatch();
}

// ---- CountingRegistry ------------------------------------------------------

CountingRegistry::CountingRegistry(Registry& target) : ForwardingRegistry(target) {}

unsigned CountingRegistry::calls(RegCall call) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counts_[slot(call)];
}

std::size_t CountingRegistry::openHandles() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_.size();
}

void CountingRegistry::count(RegCall call) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++counts_[slot(call)];
}

void CountingRegistry::opened(long rc, Key* result) {
    if (rc != kSuccess || !result || *result == kNullKey || isRootKey(*result)) return;
    std::lock_guard<std::mutex> lock(mutex_);
    open_.insert(result->value);
}

long CountingRegistry::createKeyEx(Key parent, const char* subKey, std::uint32_t options,
                                   std::uint32_t access, Key* result, std::uint32_t* disposition) {
    count(RegCall::createKeyEx);
    long rc = ForwardingRegistry::createKeyEx(parent, subKey, options, access, result, disposition);
    opened(rc, result);
    return rc;
}
long CountingRegistry::openKeyEx(Key parent, const char* subKey, std::uint32_t access,
                                 Key* result) {
    count(RegCall::openKeyEx);
    long rc = ForwardingRegistry::openKeyEx(parent, subKey, access, result);
    opened(rc, result);
    return rc;
}
long CountingRegistry::queryValueEx(Key key, const char* valueName, std::uint32_t* type,
                                    unsigned char* data, std::uint32_t* size) {
    count(RegCall::queryValueEx);
    return ForwardingRegistry::queryValueEx(key, valueName, type, data, size);
}
long CountingRegistry::setValueEx(Key key, const char* valueName, std::uint32_t type,
                                  const unsigned char* data, std::uint32_t size) {
    count(RegCall::setValueEx);
    return ForwardingRegistry::setValueEx(key, valueName, type, data, size);
}
long CountingRegistry::deleteKey(Key key, const char* subKey) {
    count(RegCall::deleteKey);
    return ForwardingRegistry::deleteKey(key, subKey);
}
long CountingRegistry::deleteValue(Key key, const char* valueName) {
    count(RegCall::deleteValue);
    return ForwardingRegistry::deleteValue(key, valueName);
}
long CountingRegistry::enumKey(Key key, std::uint32_t index, char* name, std::uint32_t nameSize) {
    count(RegCall::enumKey);
    return ForwardingRegistry::enumKey(key, index, name, nameSize);
}
long CountingRegistry::enumValue(Key key, std::uint32_t index, char* name,
                                 std::uint32_t* nameSize, std::uint32_t* type,
                                 unsigned char* data, std::uint32_t* dataSize) {
    count(RegCall::enumValue);
    return ForwardingRegistry::enumValue(key, index, name, nameSize, type, data, dataSize);
}
long CountingRegistry::closeKey(Key key) {
    count(RegCall::closeKey);
    long rc = ForwardingRegistry::closeKey(key);
    if (rc == kSuccess && !isRootKey(key)) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = open_.find(key.value);
        if (it != open_.end()) open_.erase(it);
    }
    return rc;
}
long CountingRegistry::createKey(Key parent, const char* subKey, Key* result) {
    count(RegCall::createKey);
    long rc = ForwardingRegistry::createKey(parent, subKey, result);
    opened(rc, result);
    return rc;
}
long CountingRegistry::openKey(Key parent, const char* subKey, Key* result) {
    count(RegCall::openKey);
    long rc = ForwardingRegistry::openKey(parent, subKey, result);
    opened(rc, result);
    return rc;
}
long CountingRegistry::queryValue(Key key, const char* subKey, char* data, std::int32_t* size) {
    count(RegCall::queryValue);
    return ForwardingRegistry::queryValue(key, subKey, data, size);
}
long CountingRegistry::setValue(Key key, const char* subKey, std::uint32_t type, const char* data,
                                std::uint32_t size) {
    count(RegCall::setValue);
    return ForwardingRegistry::setValue(key, subKey, type, data, size);
}

}  // namespace vrk::reg
