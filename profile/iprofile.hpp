// IProfile: a named, persistent settings store kept in the registry. A
// profile holds applications, an application holds keys, and each key holds
// one typed element: a string, a signed 32-bit integer or a byte string.
// IProfile::Cursor walks a snapshot of the applications of a profile or of the
// keys of one application.
//
// Registry layout: the profile is a registry key, each application a subkey
// of it, each key a subkey of its application; the key's subkey holds the
// value "DataType" ("String", "Integer" or "Binary") and the data ("Data", or
// the binary chunks "0", "1", ...). Names are escaped on the way in ("/" ->
// "//", "*" -> "/1", "?" -> "/0", "\" -> "/_", and on legacy hosts " " ->
// "/-") and unescaped when they come back from enumeration.
//
// Errors: a failed parameter check raises IInvalidParameter, a registry
// failure or a missing application, key or type raises IAccessError naming
// the call ("RegOpenKey:No error text is available."). Replacing an element is one
// batch where the store has batches (our own stores): a replace that fails
// leaves the old element whole. The Windows registry has none, so there what
// a failed operation wrote before it failed stays.
//
// Thread safety: an IProfile object or a cursor is used by one thread at a
// time. Different objects, even on the same profile, may be used from
// different threads and processes; nothing is cached and there is no locking,
// so every object sees the others' changes at once.
#pragma once

#include <cstdint>

#include "base/istring.hpp"
#include "base/ivbase.hpp"

namespace vrk::reg {
struct Key;
}

class IProfile : public IVBase {
public:
    class Cursor;

    // Opens (creating it when missing) the profile's registry key. A name
    // without a hive word ("SV.INI", "D:\DIR\SV.INI") is one subkey of
    // HKEY_LOCAL_MACHINE\Software; "HKEY_CURRENT_USER\A" is the key A of that
    // hive, "HKEY_USERS\X\Y\Z" the subkey "Y\Z" (as one name) of HKEY_USERS\X.
    // Raises IInvalidParameter for a null name and IAccessError
    // ("RegCreateKeyEx") when the key path cannot be opened for reading and
    // writing.
    IProfile(const char* profName);
    // Copies the name and the default application and opens a key of its own
    // (creating it again if it was removed meanwhile).
    IProfile(const IProfile& other);
    // Copies the name and the default application and reopens the key for
    // that name. When the open fails, the object is left unchanged.
    IProfile& operator=(const IProfile& other);
    // Closes the profile's key.
    ~IProfile() override;

    // The profile "HKEY_LOCAL_MACHINE\Software" and "HKEY_CURRENT_USER\Software".
    static IProfile localMachineProfile();
    static IProfile currentUserProfile();

    // The name passed to the constructor, unchanged.
    virtual IString name() const;
    // The name under a valid cursor; IInvalidParameter ("cursor.isValid()")
    // for an invalid one.
    virtual IString applicationOrKeyAt(const Cursor& cursor) const;
    // The number of typed keys of the application (the default application
    // when null; IInvalidParameter when that is empty too). A missing
    // application has 0.
    virtual unsigned long numberOfKeys(const char* applName = 0) const;
    // The number of applications of the profile.
    virtual unsigned long numberOfApplications() const;
    // The application used when an operation gets a null application name.
    virtual IString defaultApplication() const;
    // Sets the default application; null gives the empty name.
    virtual IProfile& setDefaultApplication(const char* applName);

    // The element of key in the application (default application when null).
    // An Integer element comes back as its 4 bytes in little-endian order.
    // Raises IInvalidParameter for a null key or a missing application name,
    // IAccessError "RegOpenKey" for a missing application or key and
    // "RegQueryKey" for a subkey without a valid "DataType".
    virtual IString elementWithKey(const char* key, const char* applName = 0) const;
    // The Integer element of key, sign-extended from 32 bits. Raises as
    // elementWithKey, and "RegQueryKey" for an element of another type.
    virtual long integerWithKey(const char* key, const char* applName = 0) const;
    // Writes a string element, replacing any element of that key and creating
    // the application when missing. A non-empty text of printable bytes
    // (0x20 to 0x7E) is stored as a String, anything else as Binary.
    virtual IProfile& addOrReplaceElementWithKey(const char* key, const IString& element,
                                                 const char* applName = 0);
    // Writes an Integer element. The value must fit in 32 signed bits;
    // otherwise IInvalidParameter is raised and nothing is written.
    virtual IProfile& addOrReplaceElementWithKey(const char* key, long element,
                                                 const char* applName = 0);
    // Deletes the key (a missing key is no error); the application goes with
    // its last key. IAccessError "RegOpenKey" when the application is missing.
    virtual IProfile& deleteElementWithKey(const char* key, const char* applName = 0);
    // Deletes every typed key of the application (default when null);
    // a missing application is no error.
    virtual IProfile& deleteElementWithApplication(const char* applName = 0);
    // Whether the profile has the application; letters a to z match their
    // capitals. IInvalidParameter for a null name.
    virtual bool containsApplication(const char* applName) const;
    // Whether the application (default when null) has a typed key of that
    // name; letters a to z match their capitals. Never raises for a missing
    // application or name.
    virtual bool containsKey(const char* key, const char* applName = 0) const;

    // Deletes every typed element of the profile and, for a name without a
    // hive word, its key. The profiles "HKEY_LOCAL_MACHINE\Software" and
    // "HKEY_CURRENT_USER\Software", under whatever name reaches them (the
    // empty name, a doubled backslash, a trailing backslash, any letter case
    // of "Software"), and the roots of those two hives are left alone.
    static void removeProfile(const char* profName);

private:
    IString defApplName;
    IString profileName;
    // The profile's open registry key, kept as its handle value so that the
    // registry layer stays out of this header.
    std::uintptr_t profileKeyValue;
    vrk::reg::Key profileKey() const;
};

// A snapshot of the names of a profile's applications, or of one
// application's typed keys, taken when the cursor is constructed. Later
// changes of the store are not seen; the cursor may outlive its profile.
class IProfile::Cursor : public IVBase {
public:
    // Lists the applications of profile.
    explicit Cursor(const IProfile& profile);
    // Lists the typed keys of the application (profile's default application
    // when null). A missing application gives an empty list.
    Cursor(const IProfile& profile, const char* applName);
    ~Cursor() override;

    // Each move returns whether the cursor is valid afterwards.
    virtual bool moveToFirst();
    virtual bool moveToNext();
    virtual bool moveToPrevious();
    virtual bool moveToLast();
    // Whether the cursor stands on a name.
    virtual bool isValid() const;
    virtual void makeInvalid();

private:
    friend class IProfile;
    void buildList(const IProfile& profile, bool keys);

    unsigned position;
    IString nameList;
    IString applName;
};
