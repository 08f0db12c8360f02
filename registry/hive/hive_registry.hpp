// The registry kept in Windows hive files (through hivex): an offline
// Windows image's SOFTWARE and SYSTEM hives and a user's NTUSER.DAT, or any
// hive files a caller names for a root.
//
// Each hive is mounted at a root, whole ("" below HKEY_CURRENT_USER) or as
// one key of it ("Software" below HKEY_LOCAL_MACHINE). A root or key with no
// hive behind it gives kFileNotFound. A mount may ask for the 32-bit view:
// when the hive has a "Wow6432Node" key at its top, that key stands for the
// mount (as a 32-bit program on 64-bit Windows sees HKLM\Software).
//
// The registry rules are those of the other backends (case-insensitive
// names that keep their case, Windows' subkey order, values in stored order,
// the same limits and errors, kKeyDeleted for stale handles, kAccessDenied
// for deleting a key with subkeys). Names must be UTF-8 (hivex's form):
// other bytes give kInvalidParameter. String values (REG_SZ, REG_EXPAND_SZ,
// REG_MULTI_SZ) are kept as UTF-16LE in the file, as Windows keeps them, and
// read back as the bytes that were set. hivex writes values of at most
// kMaxValueBytes bytes in the file; a larger one gives kNotEnoughMemory.
//
// Names are read whole: a name with a zero character (real hives hold
// some) is never found by a caller's name, which cannot hold one, and a key
// whose value list holds such a name is not changed (hivex would write the
// name cut short). Text is read as Windows' ANSI call reads it: odd byte
// counts, unpaired surrogates and bytes after the terminating zero included.
// A record hivex cannot read, or a subkey list that points at a key that is
// not the key's child (a loop), gives kBadDb naming the hive and the key, and
// nothing of that key is written. A hive that was not shut down cleanly is
// read with a warning and not written (see HiveFile).
//
// Changes stay in memory and reach the files once, at flush() or when the
// registry is destroyed (the end of the run), each hive by one atomic commit
// (see HiveFile); a batch's rollback undoes the batch's changes in memory.
// The first change to a hive locks it for this registry's lifetime and makes
// room for the new file, so that a change that could not be saved fails
// there; a second writer gets kAccessDenied with lastFailureDetail.
//
// Thread safety: usable from several threads (one lock); a handle is used by
// one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "registry/hive/hive_additions.hpp"
#include "registry/hive/hive_file.hpp"
#include "registry/hive/hive_records.hpp"
#include "registry/iregistry.hpp"

namespace vrk::reg::hive {

// Where a hive file appears in the registry.
struct HiveMount {
    Key root;             // the predefined root it lies below
    std::string keyName;  // its key below root, or "" for the whole root
    std::string file;     // the hive file
    bool view32 = false;  // use Wow6432Node at the top when present (and the
                          // process did not choose the 64-bit view)
    // An unclean hive may be written, losing the changes in its logs.
    bool discardLogs = false;
};


// The largest value data hivex writes (after conversion to UTF-16).
inline constexpr std::size_t kMaxValueBytes = 999996;

class HiveRegistry final : public Registry {
public:
    explicit HiveRegistry(std::vector<HiveMount> mounts);
    // Commits what changed (in the process that made the registry, not in a
    // forked child); a failure is reported on standard error and to the
    // save-failure reporter (save_failure.hpp).
    ~HiveRegistry() override;

    // Commits every changed hive. kSuccess, or the first failure (detail in
    // lastFailureDetail).
    long flush();

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
    // The registry layer's flush: commits every changed hive, as flush().
    long flushKey(Key key) override;
    // A batch writes nothing; its rollback undoes its changes in memory
    // (reads a hive again when the batch was its first change). Batches nest.
    long beginBatch() override;
    long commitBatch() override;
    long rollbackBatch() override;
    const char* lastFailureDetail() const override;

private:
    // One change of a batch, as what undoes it.
    struct Undo {
        enum Kind { removeKey, restoreValues, restoreKey } kind;
        Node node;                        // the key made, changed or deleted
        Node parent = 0;                  // restoreKey: where it was
        std::string name;                 // restoreKey: its name
        std::vector<StoredValue> values;  // restoreValues, restoreKey
    };
    // What a key has beyond hivex's reach: its class and volatility (hivex
    // neither reads nor writes them) and the last-write time of a change in
    // this run (hivex leaves the file's times as they were).
    struct KeyExtra {
        std::string keyClass;
        bool isVolatile = false;
        std::uint64_t written = 0;  // 0: the file's own time
    };
    struct Child {
        std::string sort;  // the folded name
        Node node;
        std::string name;  // whole
    };
    // A key this run made. It stays in our own tree, beside hivex's hive,
    // until the commit writes it (hive_additions.hpp): hivex adds a key at a
    // cost that grows with its siblings. Its node is kAddedNode or more.
    struct AddedKey {
        Node parent;
        std::string name;
        std::vector<StoredValue> values;
    };
    static constexpr Node kAddedNode = Node(1) << 48;
    static bool isAdded(Node node) { return node >= kAddedNode; }
    struct Hive {
        HiveMount mount;
        HiveFile file;
        bool loaded = false;
        Node top = 0;  // the node the mount stands for
        // Deletions of each node offset: a handle is stale once this moved.
        std::unordered_map<Node, std::uint64_t> deaths;
        // The open batch's changes, and whether the hive had changed before it.
        std::vector<Undo> undo;
        bool changedBeforeBatch = false;
        // A change hivex refused may have left the in-memory hive half
        // changed: it is then neither used nor written again.
        bool broken = false;
        // Subkeys of a node in Windows order (sort name, node), built on
        // demand and dropped at any change.
        std::unordered_map<Node, std::vector<Child>> order;
        // Keys this run created or changed (see KeyExtra).
        std::unordered_map<Node, KeyExtra> extras;
        // Keys this run made, and the new subkeys of each key (of hivex's
        // hive or made), in the order made.
        std::unordered_map<Node, AddedKey> added;
        std::unordered_map<Node, std::vector<Node>> addedBelow;
        Node nextAdded = kAddedNode;
        // Keys with a subkey whose name holds a zero character.
        std::unordered_set<Node> zeroNamed;
        explicit Hive(HiveMount m) : mount(std::move(m)), file(mount.file, mount.discardLogs) {}
    };
    struct Handle {
        int hive;
        Node node;
        std::uint64_t life;
        std::uint32_t access;
    };
    // What a key argument stands for: a root (hive < 0) or a node of a hive.
    struct Target {
        Key root = kNullKey;
        int hive = -1;
        Node node = 0;
        std::uint32_t access = 0;
        bool isHandle = false;
    };
    long resolve(Key key, Target& t);
    long hiveReady(int index);
    // Follows parts from t (a root or a node); creates missing levels when
    // create is set. On success t is a node of a hive.
    // Each key created gets keyClass and, with kRegOptionVolatile in options,
    // is volatile; below a volatile key only volatile keys are created.
    long walk(Target& t, const std::vector<std::string_view>& parts, bool create, bool* created,
              std::string_view keyClass = {}, std::uint32_t options = 0);
    // Gives node the time now as its last-write time.
    void touch(Hive& h, Node node);
    long writable(int index);
    bool alive(const Handle& h);
    const std::vector<Child>& childrenOf(Hive& h, Node node);
    // A new key below parent (of hivex's hive or made), or one made gone.
    Node addKey(Hive& h, Node parent, const std::string& name);
    void removeAddedKey(Hive& h, Node node);
    // A made key; kKeyDeleted when it is gone.
    AddedKey& addedKey(Hive& h, Node node);
    Node parentOf(Hive& h, Node node);
    // The key's path in the hive, for messages.
    std::string pathOf(Hive& h, Node node);
    // What the commit writes beside hivex's hive.
    HiveAdditions additionsOf(Hive& h);
    long commitHive(Hive& h, std::string* detail);
    // The values of node; kBadDb naming the key when one cannot be read.
    std::vector<StoredValue> valuesOf(Hive& h, Node node);
    // Replaces node's values (recorded for a rollback when in a batch).
    void setValues(Hive& h, Node node, std::vector<StoredValue>& values, const char* what);
    // Checks and records a change of node's values from old, then makes it.
    void changeValues(Hive& h, int hive, Node node, std::vector<StoredValue> old,
                      std::vector<StoredValue>& values, const char* what);
    [[noreturn]] void damaged(Hive& h, Node node, const std::string& why);
    void undoBatch(Hive& h);
    Key addHandle(int hive, Node node, std::uint32_t access);
    long commitAll();
    // Reports a refused hivex change: the hive is marked broken.
    [[noreturn]] void changeFailed(Hive& h, const std::string& what, int err);

    std::mutex mutex_;
    std::vector<std::unique_ptr<Hive>> hives_;
    std::unordered_map<std::uintptr_t, Handle> handles_;
    std::uintptr_t nextHandle_ = 0x10;
    int batchDepth_ = 0;
    long ownerProcess_;  // a forked child does not commit the parent's changes
};

// The mounts of a Windows image: SOFTWARE and SYSTEM of configDirectory below
// HKEY_LOCAL_MACHINE (Software in its 32-bit view) and, when userHive is not
// empty, that NTUSER.DAT as HKEY_CURRENT_USER.
std::vector<HiveMount> imageMounts(const std::string& configDirectory, const std::string& userHive);

}  // namespace vrk::reg::hive

namespace vrk::reg::hive {

// The prefix of "TORQA REGISTRY" (or TORQA_REGISTRY) that selects a Windows
// image's config directory instead of our own store: "hive:DIR".
inline constexpr char kHivePrefix[] = "hive:";

// When the environment selects a Windows image, the hive registry over it:
// "TORQA REGISTRY"/TORQA_REGISTRY "hive:DIR" names the config directory,
// "TORQA NTUSER"/TORQA_NTUSER the user's NTUSER.DAT (the form with a blank
// wins, as for the store). "TORQA HIVE LOGS"/TORQA_HIVE_LOGS "discard" lets
// hives that were not shut down cleanly be written, losing their logs'
// changes. Null when our own store is selected.
std::unique_ptr<Registry> registryFromEnvironment();

}  // namespace vrk::reg::hive
