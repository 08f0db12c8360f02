// Registry wrappers for tests: a forwarding base with one pair of hooks
// around every call, a wrapper that makes chosen calls fail, and a wrapper
// that counts calls and open handles. Each wrapper overrides only the hooks
// it needs.
//
// Thread safety: the wrappers may be used from several threads at once (their
// counters and fault table are guarded); configure faults before the calls
// they are meant to hit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <set>
#include <vector>

#include "registry/iregistry.hpp"

namespace vrk::reg {

// The kinds of call a wrapper tells apart, one for each call of Registry
// but lastFailureDetail.
enum class RegCall {
    createKeyEx,
    openKeyEx,
    queryValueEx,
    setValueEx,
    deleteKey,
    deleteValue,
    enumKey,
    enumValue,
    closeKey,
    createKey,
    openKey,
    queryValue,
    setValue,
    beginBatch,
    commitBatch,
    rollbackBatch,
    flushKey,
    count_  // not a call: the number of kinds
};

inline constexpr std::size_t kRegCallKinds = static_cast<std::size_t>(RegCall::count_);

// What a hook sees of a call: its kind, the key it works on (the parent of a
// create or open; kNullKey for the batch calls), and the caller's output
// handle of a create or open (null for the other calls).
struct RegCallInfo {
    RegCall kind;
    Key key;
    Key* result;
};

// Forwards every call, the legacy forms and the batch calls included, to
// another registry, running before() and after() around each. A test
// wrapper overrides the hooks; one that must change a single call may still
// override that call and reach the target through the base. The target must
// outlive the wrapper.
class ForwardingRegistry : public Registry {
public:
    explicit ForwardingRegistry(Registry& target);

    long createKeyEx(Key parent, const char* subKey, std::uint32_t options, std::uint32_t access,
                     Key* result, std::uint32_t* disposition) override;
    long openKeyEx(Key parent, const char* subKey, std::uint32_t access, Key* result) override;
    long queryValueEx(Key key, const char* valueName, std::uint32_t* type, unsigned char* data,
                      std::uint32_t* size) override;
    long setValueEx(Key key, const char* valueName, std::uint32_t type, const unsigned char* data,
                    std::uint32_t size) override;
    long deleteKey(Key key, const char* subKey) override;
    long deleteValue(Key key, const char* valueName) override;
    long enumKey(Key key, std::uint32_t index, char* name, std::uint32_t nameSize) override;
    long enumValue(Key key, std::uint32_t index, char* name, std::uint32_t* nameSize,
                   std::uint32_t* type, unsigned char* data, std::uint32_t* dataSize) override;
    long closeKey(Key key) override;
    long flushKey(Key key) override;
    long createKey(Key parent, const char* subKey, Key* result) override;
    long openKey(Key parent, const char* subKey, Key* result) override;
    long queryValue(Key key, const char* subKey, char* data, std::int32_t* size) override;
    long setValue(Key key, const char* subKey, std::uint32_t type, const char* data,
                  std::uint32_t size) override;
    long beginBatch() override;
    long commitBatch() override;
    long rollbackBatch() override;
    const char* lastFailureDetail() const override;

    // The registry the calls go to.
    Registry& target() const { return target_; }

protected:
    // Runs before every call. kSuccess lets the call go to the target; an
    // error number fails it without reaching the target, as a failing store
    // would: an output handle becomes kNullKey and the calling thread's last
    // error is set to the number. The default lets every call through.
    virtual long before(const RegCallInfo& call);
    // Runs after every call, with the result the caller gets. The default
    // does nothing.
    virtual void after(const RegCallInfo& call, long result);

private:
    template <class F>
    long forward(RegCallInfo call, F&& toTarget);

    Registry& target_;
};

// Makes chosen calls fail without reaching the target. Each failure sets the
// calling thread's last error to the injected number; an output handle of a
// failed create or open is set to kNullKey; a failed commitBatch rolls the
// target's batch back, as a failed commit of the store does.
class FaultInjectingRegistry : public ForwardingRegistry {
public:
    explicit FaultInjectingRegistry(Registry& target);

    // The nth call of that kind from now (1 = the next one) fails with error.
    // persistent: that call and every later call of the kind fail.
    void failCall(RegCall call, unsigned nth, long error, bool persistent = false);
    // Removes every pending fault.
    void clearFaults();
    // The calls of that kind made through this wrapper, failed ones included.
    unsigned calls(RegCall call) const;

protected:
    long before(const RegCallInfo& call) override;

private:
    struct Fault {
        RegCall call;
        unsigned at;  // the call number (counted from construction) that fails first
        long error;
        bool persistent;
    };

    mutable std::mutex mutex_;
    unsigned counts_[kRegCallKinds] = {};
    std::vector<Fault> faults_;
};

// Counts calls per kind and the handles opened through it and not yet closed.
class CountingRegistry : public ForwardingRegistry {
public:
    explicit CountingRegistry(Registry& target);

    // The calls of that kind made through this wrapper.
    unsigned calls(RegCall call) const;
    // Handles opened through this wrapper (createKeyEx, openKeyEx, createKey,
    // openKey) and not yet closed through it.
    std::size_t openHandles() const;

protected:
    long before(const RegCallInfo& call) override;
    void after(const RegCallInfo& call, long result) override;

private:
    mutable std::mutex mutex_;
    unsigned counts_[kRegCallKinds] = {};
    std::multiset<std::uintptr_t> open_;
};

}  // namespace vrk::reg
