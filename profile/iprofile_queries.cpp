// IProfile::Cursor, and the IProfile queries that walk a cursor over a
// profile's applications or an application's keys: applicationOrKeyAt,
// containsApplication, containsKey, numberOfApplications, numberOfKeys,
// deleteElementWithApplication and removeProfile.
#include "profile/iprofile.hpp"

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/process.hpp"
#include "profile/iprofile_registry.hpp"

using namespace vrk::profilestore;

namespace {

// Signature texts of the reporting functions.
const char* const kFnDeleteApplication = "IProfile::deleteElementWithApplication(const char*)";
const char* const kFnNumberOfKeys = "IProfile::numberOfKeys(const char*) const";
const char* const kFnContainsApplication = "IProfile::containsApplication(const char*) const";
const char* const kFnApplicationOrKeyAt = "IProfile::applicationOrKeyAt(const Cursor&) const";
const char* const kFnApplicationCursor = "IProfile::Cursor::Cursor(const IProfile&)";
const char* const kFnKeyCursor = "IProfile::Cursor::Cursor(const IProfile&,const char*)";

// A listing stopped by a failure of the store (corrupt, busy, unreadable)
// is not the end of the list: a cursor holding part of the names would
// answer "not there" for the rest. Raised as IAccessError naming the call.
// A key deleted meanwhile by another program ends its listing, as before.
void raiseIfStoreFailed(long rc, const char* callName, bool keys) {
    if (rc == vrk::reg::kKeyDeleted || storeFailureReason(static_cast<unsigned long>(rc)).empty())
        return;
    raiseRegistryFailure(callName, keys ? kFnKeyCursor : kFnApplicationCursor, keys ? 1290 : 1282);
}

}  // namespace

// ---- IProfile queries ---------------------------------------------------------

IProfile& IProfile::deleteElementWithApplication(const char* applName) {
    if (applName == 0 && !(defApplName.length() > 0))
        raiseParameter("defApplName.length() > 0", kFnDeleteApplication, 1036);
    Cursor cursor(*this, applName);
    for (cursor.moveToFirst(); cursor.isValid(); cursor.moveToNext())
        deleteElementWithKey(applicationOrKeyAt(cursor), applName);
    return *this;
}

bool IProfile::containsApplication(const char* applName) const {
    if (applName == 0) raiseParameter("applName != 0", kFnContainsApplication, 1168);
    IString wanted(applName);
    wanted.makeUpperCase();
    Cursor cursor(*this);
    for (cursor.moveToFirst(); cursor.isValid(); cursor.moveToNext()) {
        IString entry = applicationOrKeyAt(cursor);
        entry.makeUpperCase();
        if (entry == wanted) return true;
    }
    return false;
}

bool IProfile::containsKey(const char* key, const char* applName) const {
    const IString application = applName != 0 ? IString(applName) : defApplName;
    IString wanted(key);  // a null key is the empty name
    wanted.makeUpperCase();
    Cursor cursor(*this, application);
    for (cursor.moveToFirst(); cursor.isValid(); cursor.moveToNext()) {
        IString entry = applicationOrKeyAt(cursor);
        entry.makeUpperCase();
        if (entry == wanted) return true;
    }
    return false;
}

unsigned long IProfile::numberOfApplications() const {
    Cursor cursor(*this);
    unsigned long count = 0;
    for (cursor.moveToFirst(); cursor.isValid(); cursor.moveToNext()) ++count;
    return count;
}

unsigned long IProfile::numberOfKeys(const char* applName) const {
    if (applName == 0 && !(defApplName.length() > 0))
        raiseParameter("defApplName.length() > 0", kFnNumberOfKeys, 1148);
    Cursor cursor(*this, applName);
    unsigned long count = 0;
    for (cursor.moveToFirst(); cursor.isValid(); cursor.moveToNext()) ++count;
    return count;
}

IString IProfile::applicationOrKeyAt(const Cursor& cursor) const {
    if (!cursor.isValid()) raiseParameter("cursor.isValid()", kFnApplicationOrKeyAt, 1242);
    const char* list = cursor.nameList;
    return IString(list + cursor.position - 1);  // up to the name's zero byte
}

void IProfile::removeProfile(const char* profName) {
    if (profName != 0 && isProtectedProfileName(profName)) return;
    {
        IProfile profile(profName);
        Cursor applications(profile);
        for (applications.moveToFirst(); applications.isValid(); applications.moveToNext())
            profile.deleteElementWithApplication(profile.applicationOrKeyAt(applications));
    }
    KeyHolder software(IRegOpenKey(vrk::reg::kLocalMachine, "Software"));
    IRegDeleteKey(software.get(), profName);
}

// ---- IProfile::Cursor ----------------------------------------------------------------

IProfile::Cursor::Cursor(const IProfile& profile) : position(1), nameList(), applName() {
    buildList(profile, false);
}

IProfile::Cursor::Cursor(const IProfile& profile, const char* application)
    : position(1),
      nameList(),
      applName(application != 0 ? IString(application) : profile.defaultApplication()) {
    buildList(profile, true);
}

IProfile::Cursor::~Cursor() {}

void IProfile::Cursor::buildList(const IProfile& profile, bool keys) {
    const IString profName = profile.name();
    nameList = IString();
    KeyHolder profKey(IRegOpenProfileKey(profName));
    KeyHolder applicationKey;
    Key enumerated = profKey.get();
    if (keys) {
        if (!IRegKeyExists(profKey.get(), applName)) {
            raiseIfStoreFailed(static_cast<long>(vrk::platform::lastError()), "RegOpenKeyEx", true);
            return;
        }
        applicationKey.reset(IRegOpenKey(profKey.get(), applName));
        enumerated = applicationKey.get();
    }
    std::string list;
    vrk::reg::Registry& reg = store();
    for (std::uint32_t index = 0;; ++index) {
        // enumKey ends the name it gives with a zero byte.
        char stored[kEnumNameBufferSize];
        const long rc = reg.enumKey(enumerated, index, stored, sizeof stored);
        if (rc != vrk::reg::kSuccess) {
            raiseIfStoreFailed(rc, "RegEnumKey", keys);
            break;
        }
        if (!keys) {
            // A name without a slash holds no escape (IRegDecodeName): it is
            // listed as stored, without a string object of its own.
            const std::size_t length = std::strlen(stored);
            if (std::memchr(stored, '/', length) == nullptr) {
                list.append(stored, length + 1);  // with its zero byte
                continue;
            }
        }
        IString entryName(stored);
        if (!IRegDecodeName(entryName)) continue;
        if (keys) {
            // A stored name that escaping does not give back (made by another
            // program) is not reachable by its unescaped name; opening that
            // name would create a new subkey, so it is left out.
            if (IRegEncodeName(entryName) != stored) continue;
            KeyHolder entry(IRegOpenKey(enumerated, entryName));
            if (IRegGetType(entry.get()) == kTypeNone) continue;
        }
        list.append(static_cast<const char*>(entryName), entryName.length());
        list.push_back('\0');
    }
    nameList = IString(list.data(), static_cast<unsigned>(list.size()));
}

bool IProfile::Cursor::moveToFirst() {
    position = 1;
    return isValid();
}

bool IProfile::Cursor::moveToNext() {
    const unsigned zero = nameList.positionOf('\0', position);
    position = zero != 0 ? zero + 1 : nameList.length() + 1;
    return isValid();
}

bool IProfile::Cursor::moveToPrevious() {
    const unsigned length = nameList.length();
    if (1 < position && position < length) {
        // The zero byte before the previous name (P - 1 is the zero byte
        // that ends it).
        const unsigned zero = position > 2 ? nameList.lastPositionOf('\0', position - 2) : 0;
        position = zero != 0 ? zero + 1 : 1;
    } else {
        position = length + 1;
    }
    return isValid();
}

bool IProfile::Cursor::moveToLast() {
    const unsigned length = nameList.length();
    // Start before the final zero byte, so that it is passed over.
    const unsigned zero = length > 2 ? nameList.lastPositionOf('\0', length - 2) : 0;
    position = zero != 0 ? zero + 1 : 1;
    return isValid();
}

bool IProfile::Cursor::isValid() const { return position < nameList.length(); }

void IProfile::Cursor::makeInvalid() { position = nameList.length(); }
