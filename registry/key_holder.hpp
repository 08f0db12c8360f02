// KeyHolder: owns one open registry key and closes it when it goes away.
//
// Thread safety: a holder is used by one thread at a time, as its key is.
#pragma once

#include "registry/iregistry.hpp"

namespace vrk::reg {

// Owns one open key of a registry and closes it when it goes out of scope.
// The predefined roots and the null handle are held but never closed.
class KeyHolder {
public:
    // A key of the registry every caller uses (registry()).
    explicit KeyHolder(Key key = kNullKey) : reg_(&registry()), key_(key) {}
    KeyHolder(Registry& reg, Key key) : reg_(&reg), key_(key) {}
    KeyHolder(KeyHolder&& other) noexcept : reg_(other.reg_), key_(other.release()) {}
    KeyHolder& operator=(KeyHolder&& other) noexcept {
        if (this != &other) {
            close();
            reg_ = other.reg_;
            key_ = other.release();
        }
        return *this;
    }
    KeyHolder(const KeyHolder&) = delete;
    KeyHolder& operator=(const KeyHolder&) = delete;
    ~KeyHolder() { close(); }

    Key get() const { return key_; }
    // Hands the handle over to the caller, who closes it.
    Key release() {
        const Key key = key_;
        key_ = kNullKey;
        return key;
    }
    // Closes the held key and holds key instead.
    void reset(Key key) {
        close();
        key_ = key;
    }
    void close() {
        if (key_ != kNullKey && !isRootKey(key_)) reg_->closeKey(key_);
        key_ = kNullKey;
    }

private:
    Registry* reg_;
    Key key_;
};

}  // namespace vrk::reg
