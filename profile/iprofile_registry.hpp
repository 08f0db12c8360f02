// INTERNAL to the profile store: not part of the library's interface, and
// included only by profile/iprofile*.cpp. The registry routines through
// which IProfile reads and writes its layout (name escaping, opening and
// deleting keys, reading and writing typed elements, opening a profile's
// key), the handle and batch guards they use, the raise helpers and the
// constants of the layout.
//
// Every key handle the routines open below a profile's key is held by a
// KeyHolder, so it is closed when the operation returns, whether it returns
// normally or by an exception. Exceptions are built before the holders
// release their handles, so an error id taken from the platform's last error
// is that of the failing call, not of a later close.
//
// Thread safety: the routines keep no state of their own; they are as safe
// as the registry layer under them. A KeyHolder or a ReplaceBatch belongs to
// the thread that made it.
#pragma once

#include <cstdint>
#include <string>

#include "base/istring.hpp"
#include "registry/iregistry.hpp"
#include "registry/key_holder.hpp"

namespace vrk::profilestore {

using vrk::reg::Key;
using vrk::reg::kNullKey;

// Type codes of an element (the registry's type numbers).
enum : unsigned long { kTypeNone = 0, kTypeString = 1, kTypeBinary = 3, kTypeInteger = 4 };

// Sizes of the buffers and chunks of the layout.
const std::uint32_t kDataTypeBufferSize = 10;
const std::uint32_t kEnumNameBufferSize = 260;
const unsigned kBinaryChunkSize = 16000;
const unsigned kLegacyBinaryChunkSize = 3500;

// The registry the store works on (vrk::reg::registry()).
vrk::reg::Registry& store();

// Raises IAccessError for a failed (or, for "RegOpenKey" and "RegQueryKey",
// an unsatisfied) registry call. The error id is the platform's last error;
// when the store failed (storeFailureReason), its reason is the exception's
// second text.
[[noreturn]] void raiseRegistryFailure(const char* callName, const char* function,
                                       unsigned long line);

// The store's account of a failure with error number error, for a report:
// "Error N: " the platform's message for N, then the store's own detail in
// parentheses (the file, why it was busy and for how long). "" for the
// answers that are not failures of the store (success, not found, more data,
// no more items).
std::string storeFailureReason(unsigned long error);

// Raises IInvalidParameter for the failed check `expression`.
[[noreturn]] void raiseParameter(const char* expression, const char* function, unsigned long line);

// The open keys of the profile store are held by vrk::reg::KeyHolder.
using vrk::reg::KeyHolder;

// Groups the calls of one replace into a single change of the store, so that
// a write refused half-way leaves the element as it was instead of deleted
// or half-written, and a concurrent writer never sees the gap between the
// delete and the new values. A store without batches (the Windows registry)
// makes each call on its own, as before. A batch the store refuses to begin
// is not an error: the calls then run one by one and report their own
// failures.
class ReplaceBatch {
public:
    ReplaceBatch() : open_(store().beginBatch() == vrk::reg::kSuccess) {}
    ~ReplaceBatch() {
        if (open_) store().rollbackBatch();
    }
    ReplaceBatch(const ReplaceBatch&) = delete;
    ReplaceBatch& operator=(const ReplaceBatch&) = delete;

    // Makes the replace durable; a refused commit leaves nothing of it and
    // raises IAccessError naming "RegFlushKey".
    void commit(const char* function, unsigned long line) {
        if (!open_) return;
        open_ = false;
        if (store().commitBatch() != vrk::reg::kSuccess)
            raiseRegistryFailure("RegFlushKey", function, line);
    }

private:
    bool open_;
};

// ---- Names ----------------------------------------------------------------

// IRegEncodeName: the name as it is stored. The slash is doubled first, so
// that the escapes of the later steps are not doubled again.
IString IRegEncodeName(const char* name);

// IRegDecodeName: turns a stored name back into the name; false (and the
// name unchanged) when the stored name is malformed.
bool IRegDecodeName(IString& name);

// ---- Keys -----------------------------------------------------------------

// Open-or-create of the escaped name below parent, read and write access,
// without raising. Returns the registry's error number.
long openOrCreateKey(Key parent, const char* name, Key* result);

// Raises IAccessError for a failed open-or-create of IRegOpenKey.
[[noreturn]] void raiseOpenKeyFailure();

// IRegOpenKey: opens the subkey name of parent for reading and writing,
// creating it when missing.
Key IRegOpenKey(Key parent, const char* name);

// IRegKeyExists: whether the subkey name of parent exists. Never raises.
bool IRegKeyExists(Key parent, const char* name);

// IRegDeleteKey: deletes the subkey name of parent; the result is ignored.
// In the legacy layout the whole subtree goes, walked without recursion.
void IRegDeleteKey(Key parent, const char* name);

// Deletes the element held by the subkey name of parent: the subkey with
// its values (legacy: with its whole subtree). When the store refuses to
// delete the subkey because it holds subkeys of its own, which are not part
// of the layout, every value of the subkey is deleted instead, so that it
// holds no element any more; those subkeys stay. A missing subkey is no
// error. False when the element could not be removed.
bool IRegDeleteElementKey(Key parent, const char* name);

// Removes whatever an element left in the open key's subkey: every value
// (legacy: every subkey, with what lies below it). False when something could
// not be removed.
bool IRegClearElement(Key key);

// ---- Values ---------------------------------------------------------------

// IRegGetType: the type named by "DataType", or kTypeNone.
unsigned long IRegGetType(Key key);

// IRegGetString: the text of "Data", up to its first zero byte.
IString IRegGetString(Key key);

// IRegGetInteger: the signed 32-bit value of "Data", sign-extended.
long IRegGetInteger(Key key);

// IRegGetBinary: the chunks "0", "1", ... joined, up to the first chunk that
// is missing or cannot be read. Never raises.
IString IRegGetBinary(Key key);

// IRegWriteString: "DataType" "String", then "Data" with the string's bytes.
void IRegWriteString(Key key, IString element);

// IRegWriteInteger: "DataType" "Integer", then "Data" as 4 little-endian
// bytes (legacy: decimal text).
void IRegWriteInteger(Key key, long element);

// IRegWriteBinary: "DataType" "Binary", then the chunks "0", "1", ... of at
// most 16000 bytes (legacy: 3500 bytes as upper-case hexadecimal text). An
// empty element has no chunk.
void IRegWriteBinary(Key key, IString element);

// ---- Profile names --------------------------------------------------------

// IRegOpenProfileKey: opens (creating it when missing) the profile's key.
Key IRegOpenProfileKey(const char* profName);

// Whether the name, resolved as IRegOpenProfileKey resolves it, reaches
// HKEY_LOCAL_MACHINE\Software or HKEY_CURRENT_USER\Software (the two
// profiles that are never removed) or the root of one of those hives.
bool isProtectedProfileName(const char* profName);

}  // namespace vrk::profilestore
