// The Windows backend of the registry layer: the real registry through
// advapi32, the calls passed on with the caller's arguments. Text values are
// stored with the terminating zero the registry keeps with a string, and
// read without it (see "Text values" in iregistry.hpp).
//
// Registry view: the suite is a 32-bit program, so its profile lives in the
// 32-bit view of HKEY_LOCAL_MACHINE\Software. A 64-bit build adds
// KEY_WOW64_32KEY to every open and create (and deletes through
// RegDeleteKeyEx with it), so that both builds see the same keys.
//
// The four roots are Windows' predefined keys, or, for a scratch store, four
// keys the store owns; either way callers use them as parents without opening
// or closing them.
//
// Thread safety: every call may be made from any thread; a handle belongs to
// one thread at a time (as with advapi32 itself).
#pragma once

#include <windows.h>

#include <array>
#include <memory>

#include "registry/iregistry.hpp"

namespace vrk::reg {

class Win32Registry : public Registry {
public:
    // The handles that stand for kClassesRoot, kCurrentUser, kLocalMachine
    // and kUsers, in that order.
    using Roots = std::array<HKEY, 4>;

    // The machine's registry.
    Win32Registry();
    // A registry whose roots are the given keys; owner keeps them open (and
    // whatever else they need) for the life of this object.
    Win32Registry(const Roots& roots, std::shared_ptr<const void> owner);

    long createKeyEx(Key parent, const char* subKey, std::uint32_t options, std::uint32_t access,
                     Key* result, std::uint32_t* disposition) override;
    long createKeyExWithClass(Key parent, const char* subKey, const char* keyClass,
                              std::uint32_t options, std::uint32_t access, Key* result,
                              std::uint32_t* disposition) override;
    long queryInfoKey(Key key, char* keyClass, std::uint32_t* classSize, KeyInfo* info) override;
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

    // Batches: the registry has none, so a batch is the calls one by one.
    // A rollback succeeds when the thread changed nothing since its
    // beginBatch; otherwise it fails with ERROR_NOT_SUPPORTED, since the
    // changes stay.
    long beginBatch() override;
    long commitBatch() override;
    long rollbackBatch() override;

    // The plain forms: RegCreateKey, RegOpenKey, RegQueryValue, RegSetValue.
    long createKey(Key parent, const char* subKey, Key* result) override;
    long openKey(Key parent, const char* subKey, Key* result) override;
    long queryValue(Key key, const char* subKey, char* data, std::int32_t* size) override;
    long setValue(Key key, const char* subKey, std::uint32_t type, const char* data,
                  std::uint32_t size) override;

private:
    HKEY handleOf(Key key) const;
    Key keyOf(HKEY handle) const;
    // The output handle after a call that answered rc and filled in handle;
    // before is what the caller's output held.
    Key resultOf(LONG rc, HKEY handle, Key before) const;

    Roots roots_;
    std::shared_ptr<const void> owner_;
};

// The access flag every open and create adds: that of the chosen view
// (registry_view.hpp); by default KEY_WOW64_32KEY in a 64-bit build, nothing
// in a 32-bit one.
REGSAM win32RegistryView();

// RegDeleteKey in the chosen view (RegDeleteKeyEx with the view's flag).
LONG win32DeleteKey(HKEY parent, const char* subKey);

}  // namespace vrk::reg
