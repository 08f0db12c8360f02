// IProfile over the registry layer: construction, the accessors and the
// element operations (read, write and delete the element of one key). The
// registry routines under them are in profile/iprofile_registry.cpp; the
// cursor and the queries over applications and keys are in
// profile/iprofile_queries.cpp.
//
// The function texts, file names and line numbers in the source locations
// and trace scopes of this file are part of the reports and trace lines that
// callers and logs rely on: they are fixed texts, not this file's own lines,
// and must not be "corrected".
#include "profile/iprofile.hpp"

#include <cstdint>

#include "platform/process.hpp"
#include "profile/iprofile_registry.hpp"

using namespace vrk::profilestore;

namespace {

// Signature texts of the reporting functions.
const char* const kFnConstructor = "IProfile::IProfile(const char*)";
const char* const kFnElementWithKey = "IProfile::elementWithKey(const char*,const char*) const";
const char* const kFnIntegerWithKey = "IProfile::integerWithKey(const char*,const char*) const";
const char* const kFnAddString =
    "IProfile::addOrReplaceElementWithKey(const char*,const IString&,const char*)";
const char* const kFnAddLong = "IProfile::addOrReplaceElementWithKey(const char*,long,const char*)";
const char* const kFnDeleteKey = "IProfile::deleteElementWithKey(const char*,const char*)";

// How often a write makes its application again when a concurrent writer
// removed it (after deleting what it took for the application's last key).
const int kApplicationRecreateAttempts = 8;

// The two parameter checks of the element operations, in order, and the
// application name they resolve to.
IString checkedApplication(const char* key, const char* applName, const IString& defApplName,
                           const char* function, unsigned long keyLine, unsigned long defaultLine) {
    if (key == 0) raiseParameter("key != 0", function, keyLine);
    if (applName != 0) return IString(applName);
    if (!(defApplName.length() > 0))
        raiseParameter("defApplName.length() > 0", function, defaultLine);
    return defApplName;
}

// Whether every byte is printable in the default locale (0x20 to 0x7E).
bool isPrintableText(const IString& text) {
    const char* bytes = text;
    for (unsigned i = 0; i < text.length(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

}  // namespace

// ---- IProfile ----------------------------------------------------------------

IProfile::IProfile(const char* profName)
    : defApplName(), profileName(profName), profileKeyValue(kNullKey.value) {
    if (profName == 0) raiseParameter("profName != 0", kFnConstructor, 471);
    profileKeyValue = IRegOpenProfileKey(profName).value;
}

IProfile::IProfile(const IProfile& other)
    : IVBase(other),
      defApplName(other.defApplName),
      profileName(other.profileName),
      profileKeyValue(IRegOpenProfileKey(other.profileName).value) {}

IProfile& IProfile::operator=(const IProfile& other) {
    // Open first: when that fails, this object keeps its key and names.
    Key key = IRegOpenProfileKey(other.profileName);
    Key old = profileKey();
    defApplName = other.defApplName;
    profileName = other.profileName;
    profileKeyValue = key.value;
    KeyHolder closing(old);
    return *this;
}

IProfile::~IProfile() { KeyHolder closing(profileKey()); }

Key IProfile::profileKey() const { return Key{profileKeyValue}; }

IProfile IProfile::localMachineProfile() { return IProfile("HKEY_LOCAL_MACHINE\\Software"); }

IProfile IProfile::currentUserProfile() { return IProfile("HKEY_CURRENT_USER\\Software"); }

IString IProfile::name() const { return profileName; }

IString IProfile::defaultApplication() const { return defApplName; }

IProfile& IProfile::setDefaultApplication(const char* applName) {
    defApplName = IString(applName);
    return *this;
}

IString IProfile::elementWithKey(const char* key, const char* applName) const {
    const IString application =
        checkedApplication(key, applName, defApplName, kFnElementWithKey, 694, 697);
    if (!IRegKeyExists(profileKey(), application))
        raiseRegistryFailure("RegOpenKey", kFnElementWithKey, 753);
    KeyHolder applicationKey(IRegOpenKey(profileKey(), application));
    if (!IRegKeyExists(applicationKey.get(), key))
        raiseRegistryFailure("RegOpenKey", kFnElementWithKey, 762);
    KeyHolder valueKey(IRegOpenKey(applicationKey.get(), key));
    applicationKey.close();
    switch (IRegGetType(valueKey.get())) {
    case kTypeString: return IRegGetString(valueKey.get());
    case kTypeBinary: return IRegGetBinary(valueKey.get());
    case kTypeInteger: {
        const std::uint32_t raw =
            static_cast<std::uint32_t>(static_cast<std::int32_t>(IRegGetInteger(valueKey.get())));
        const char bytes[4] = {static_cast<char>(raw & 0xFF), static_cast<char>(raw >> 8 & 0xFF),
                               static_cast<char>(raw >> 16 & 0xFF),
                               static_cast<char>(raw >> 24 & 0xFF)};
        return IString(bytes, 4);
    }
    default: raiseRegistryFailure("RegQueryKey", kFnElementWithKey, 777);
    }
}

long IProfile::integerWithKey(const char* key, const char* applName) const {
    const IString application =
        checkedApplication(key, applName, defApplName, kFnIntegerWithKey, 810, 812);
    if (!IRegKeyExists(profileKey(), application))
        raiseRegistryFailure("RegOpenKey", kFnIntegerWithKey, 834);
    KeyHolder applicationKey(IRegOpenKey(profileKey(), application));
    if (!IRegKeyExists(applicationKey.get(), key))
        raiseRegistryFailure("RegOpenKey", kFnIntegerWithKey, 843);
    KeyHolder valueKey(IRegOpenKey(applicationKey.get(), key));
    applicationKey.close();
    if (IRegGetType(valueKey.get()) != kTypeInteger)
        raiseRegistryFailure("RegQueryKey", kFnIntegerWithKey, 858);
    return IRegGetInteger(valueKey.get());
}

// Steps shared by both writes: makes the application when missing, removes
// an existing element of the key (through the virtual deleteElementWithKey)
// and creates the key's subkey, which it returns open and empty of values,
// so that nothing of an old element (a longer run of chunks, another type's
// data) survives under the new one. Raises IAccessError at the writer's
// clearLine when the old values cannot be removed.
static Key prepareElementKey(IProfile& profile, Key profileKey, const char* key,
                             const IString& application, const char* function,
                             unsigned long clearLine) {
    KeyHolder applicationKey(IRegOpenKey(profileKey, application));
    if (IRegKeyExists(applicationKey.get(), key)) {
        applicationKey.close();
        profile.deleteElementWithKey(key, application);
        // The delete removes the application when it became empty.
        applicationKey.reset(IRegOpenKey(profileKey, application));
    }
    Key valueKey = kNullKey;
    for (int attempt = 1;; ++attempt) {
        long rc = openOrCreateKey(applicationKey.get(), key, &valueKey);
        if (rc == vrk::reg::kSuccess) break;
        // Another writer removed the application after deleting what was its
        // last key at that moment; make it again rather than fail.
        if (rc != vrk::reg::kKeyDeleted || attempt >= kApplicationRecreateAttempts)
            raiseOpenKeyFailure();
        applicationKey.reset(IRegOpenKey(profileKey, application));
    }
    KeyHolder holder(valueKey);
    if (!IRegClearElement(valueKey))
        raiseRegistryFailure(
            vrk::platform::isLegacyRegistryHost() ? "RegDeleteKey" : "RegDeleteValue", function,
            clearLine);
    applicationKey.close();
    return holder.release();
}

IProfile& IProfile::addOrReplaceElementWithKey(const char* key, const IString& element,
                                               const char* applName) {
    const IString application =
        checkedApplication(key, applName, defApplName, kFnAddString, 881, 883);
    ReplaceBatch batch;
    {
        KeyHolder valueKey(
            prepareElementKey(*this, profileKey(), key, application, kFnAddString, 905));
        if (element.length() > 0 && isPrintableText(element))
            IRegWriteString(valueKey.get(), element);
        else
            IRegWriteBinary(valueKey.get(), element);
    }
    batch.commit(kFnAddString, 931);
    return *this;
}

IProfile& IProfile::addOrReplaceElementWithKey(const char* key, long element,
                                               const char* applName) {
    const IString application =
        checkedApplication(key, applName, defApplName, kFnAddLong, 938, 940);
    // An Integer element holds 32 bits; a wider long is refused, not cut.
    const long long value = element;
    if (!(value >= INT32_MIN && value <= INT32_MAX))
        raiseParameter("element >= -2147483648 && element <= 2147483647", kFnAddLong, 942);
    ReplaceBatch batch;
    {
        KeyHolder valueKey(
            prepareElementKey(*this, profileKey(), key, application, kFnAddLong, 960));
        IRegWriteInteger(valueKey.get(), element);
    }
    batch.commit(kFnAddLong, 970);
    return *this;
}

IProfile& IProfile::deleteElementWithKey(const char* key, const char* applName) {
    const IString application =
        checkedApplication(key, applName, defApplName, kFnDeleteKey, 985, 987);
    if (!IRegKeyExists(profileKey(), application))
        raiseRegistryFailure("RegOpenKey", kFnDeleteKey, 1003);
    KeyHolder applicationKey(IRegOpenKey(profileKey(), application));
    if (!IRegDeleteElementKey(applicationKey.get(), key))
        raiseRegistryFailure("RegDeleteKey", kFnDeleteKey, 1008);
    char probe[kEnumNameBufferSize] = {};
    const bool hasSubkey =
        store().enumKey(applicationKey.get(), 0, probe, sizeof probe) == vrk::reg::kSuccess;
    applicationKey.close();
    if (!hasSubkey) IRegDeleteKey(profileKey(), application);
    return *this;
}
