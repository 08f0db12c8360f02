// Forwarding, fault-injecting and counting registry wrappers.
#include "registry/testing/registry_wrappers.hpp"

#include "platform/process.hpp"

namespace vrk::reg {

namespace {
std::size_t slot(RegCall call) { return static_cast<std::size_t>(call); }
}  // namespace

// ---- ForwardingRegistry ----------------------------------------------------

ForwardingRegistry::ForwardingRegistry(Registry& target) : target_(target) {}

long ForwardingRegistry::before(const RegCallInfo&) { return kSuccess; }

void ForwardingRegistry::after(const RegCallInfo&, long) {}

template <class F>
long ForwardingRegistry::forward(RegCallInfo call, F&& toTarget) {
    long rc = before(call);
    if (rc == kSuccess) {
        rc = toTarget();
    } else {
        if (call.result) *call.result = kNullKey;
        platform::setLastError(static_cast<std::uint32_t>(rc));
    }
    after(call, rc);
    return rc;
}

long ForwardingRegistry::createKeyEx(Key parent, const char* subKey, std::uint32_t options,
                                     std::uint32_t access, Key* result,
                                     std::uint32_t* disposition) {
    return forward({RegCall::createKeyEx, parent, result}, [&] {
        return target_.createKeyEx(parent, subKey, options, access, result, disposition);
    });
}
long ForwardingRegistry::openKeyEx(Key parent, const char* subKey, std::uint32_t access,
                                   Key* result) {
    return forward({RegCall::openKeyEx, parent, result},
                   [&] { return target_.openKeyEx(parent, subKey, access, result); });
}
long ForwardingRegistry::queryValueEx(Key key, const char* valueName, std::uint32_t* type,
                                      unsigned char* data, std::uint32_t* size) {
    return forward({RegCall::queryValueEx, key, nullptr},
                   [&] { return target_.queryValueEx(key, valueName, type, data, size); });
}
long ForwardingRegistry::setValueEx(Key key, const char* valueName, std::uint32_t type,
                                    const unsigned char* data, std::uint32_t size) {
    return forward({RegCall::setValueEx, key, nullptr},
                   [&] { return target_.setValueEx(key, valueName, type, data, size); });
}
long ForwardingRegistry::deleteKey(Key key, const char* subKey) {
    return forward({RegCall::deleteKey, key, nullptr},
                   [&] { return target_.deleteKey(key, subKey); });
}
long ForwardingRegistry::deleteValue(Key key, const char* valueName) {
    return forward({RegCall::deleteValue, key, nullptr},
                   [&] { return target_.deleteValue(key, valueName); });
}
long ForwardingRegistry::enumKey(Key key, std::uint32_t index, char* name, std::uint32_t nameSize) {
    return forward({RegCall::enumKey, key, nullptr},
                   [&] { return target_.enumKey(key, index, name, nameSize); });
}
long ForwardingRegistry::enumValue(Key key, std::uint32_t index, char* name,
                                   std::uint32_t* nameSize, std::uint32_t* type,
                                   unsigned char* data, std::uint32_t* dataSize) {
    return forward({RegCall::enumValue, key, nullptr}, [&] {
        return target_.enumValue(key, index, name, nameSize, type, data, dataSize);
    });
}
long ForwardingRegistry::closeKey(Key key) {
    return forward({RegCall::closeKey, key, nullptr}, [&] { return target_.closeKey(key); });
}
long ForwardingRegistry::createKey(Key parent, const char* subKey, Key* result) {
    return forward({RegCall::createKey, parent, result},
                   [&] { return target_.createKey(parent, subKey, result); });
}
long ForwardingRegistry::openKey(Key parent, const char* subKey, Key* result) {
    return forward({RegCall::openKey, parent, result},
                   [&] { return target_.openKey(parent, subKey, result); });
}
long ForwardingRegistry::queryValue(Key key, const char* subKey, char* data, std::int32_t* size) {
    return forward({RegCall::queryValue, key, nullptr},
                   [&] { return target_.queryValue(key, subKey, data, size); });
}
long ForwardingRegistry::setValue(Key key, const char* subKey, std::uint32_t type, const char* data,
                                  std::uint32_t size) {
    return forward({RegCall::setValue, key, nullptr},
                   [&] { return target_.setValue(key, subKey, type, data, size); });
}
long ForwardingRegistry::flushKey(Key key) {
    return forward({RegCall::flushKey, key, nullptr}, [&] { return target_.flushKey(key); });
}

long ForwardingRegistry::beginBatch() {
    return forward({RegCall::beginBatch, kNullKey, nullptr}, [&] { return target_.beginBatch(); });
}
long ForwardingRegistry::commitBatch() {
    return forward({RegCall::commitBatch, kNullKey, nullptr},
                   [&] { return target_.commitBatch(); });
}
long ForwardingRegistry::rollbackBatch() {
    return forward({RegCall::rollbackBatch, kNullKey, nullptr},
                   [&] { return target_.rollbackBatch(); });
}
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

// Counts the call and returns the injected error, or kSuccess to forward.
long FaultInjectingRegistry::before(const RegCallInfo& call) {
    long error = kSuccess;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        unsigned n = ++counts_[slot(call.kind)];
        for (auto it = faults_.begin(); it != faults_.end(); ++it) {
            if (it->call != call.kind) continue;
            if (n == it->at || (it->persistent && n > it->at)) {
                error = it->error;
                if (!it->persistent) faults_.erase(it);
                break;
            }
        }
    }
    // A commit that fails leaves nothing of the batch behind.
    if (error != kSuccess && call.kind == RegCall::commitBatch) target().rollbackBatch();
    return error;
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

long CountingRegistry::before(const RegCallInfo& call) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++counts_[slot(call.kind)];
    return kSuccess;
}

void CountingRegistry::after(const RegCallInfo& call, long result) {
    if (result != kSuccess) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (call.kind == RegCall::closeKey) {
        if (isRootKey(call.key)) return;
        auto it = open_.find(call.key.value);
        if (it != open_.end()) open_.erase(it);
        return;
    }
    if (call.result && *call.result != kNullKey && !isRootKey(*call.result)) {
        open_.insert(call.result->value);
    }
}

}  // namespace vrk::reg
