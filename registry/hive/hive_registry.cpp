// HiveRegistry: mounts, handles, the path walk, key calls, batches and the
// commit of changed hives.
#include <hivex.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/process.hpp"
#include "registry/hive/hive_registry.hpp"
#include "registry/name_folding.hpp"
#include "registry/registry_rules.hpp"
#include "registry/store_call.hpp"
#include "registry/registry_result.hpp"
#include "registry/registry_view.hpp"
#include "registry/save_failure.hpp"
#include "registry/hive/hive_text.hpp"

namespace vrk::reg::hive {

namespace {

long errorOfErrno(int err) { return err == ENOMEM ? kNotEnoughMemory : kRegistryIoFailed; }

// The most subkeys hivex reads below one key.
constexpr std::size_t kMaxSubkeys = 70000;

}  // namespace

HiveRegistry::HiveRegistry(std::vector<HiveMount> mounts) : ownerProcess_(::getpid()) {
    for (auto& m : mounts) hives_.push_back(std::make_unique<Hive>(std::move(m)));
}

HiveRegistry::~HiveRegistry() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (::getpid() != ownerProcess_) return;
    for (auto& h : hives_) {
        std::string detail;
        if (h->loaded && !h->broken && commitHive(*h, &detail) != kSuccess) {
            const std::string text = "changes to the hive were not saved: " + detail;
            std::fprintf(stderr, "vrk: %s\n", text.c_str());
            if (SaveFailureReporter report = saveFailureReporter()) report(text.c_str());
        }
    }
}

void HiveRegistry::changeFailed(Hive& h, const std::string& what, int err) {
    h.broken = true;
    throw Failure{errorOfErrno(err), h.mount.file + ": " + what + ": " + std::strerror(err) +
                                         "; this run's changes to the hive are dropped"};
}

void HiveRegistry::damaged(Hive& h, Node node, const std::string& why) {
    throw Failure{kBadDb, h.mount.file + ": key " + pathOf(h, node) + ": " + why +
                              "; the key is not changed"};
}

Node HiveRegistry::addKey(Hive& h, Node parent, const std::string& name) {
    const Node node = h.nextAdded++;
    h.added.emplace(node, AddedKey{parent, name, {}});
    h.addedBelow[parent].push_back(node);
    h.file.markChanged();
    return node;
}

void HiveRegistry::removeAddedKey(Hive& h, Node node) {
    auto it = h.added.find(node);
    if (it == h.added.end()) return;
    auto below = h.addedBelow.find(it->second.parent);
    if (below != h.addedBelow.end()) {
        auto& list = below->second;
        list.erase(std::remove(list.begin(), list.end(), node), list.end());
        if (list.empty()) h.addedBelow.erase(below);
    }
    h.addedBelow.erase(node);
    h.added.erase(it);
    h.file.markChanged();
}

HiveRegistry::AddedKey& HiveRegistry::addedKey(Hive& h, Node node) {
    auto it = h.added.find(node);
    if (it == h.added.end()) throw Failure{kKeyDeleted, {}};
    return it->second;
}

Node HiveRegistry::parentOf(Hive& h, Node node) {
    if (isAdded(node)) return addedKey(h, node).parent;
    return hivex_node_parent(h.file.handle(), node);
}

std::string HiveRegistry::pathOf(Hive& h, Node node) {
    std::string tail;
    while (isAdded(node)) {
        auto it = h.added.find(node);
        if (it == h.added.end()) return "?" + tail;
        tail = "\\" + it->second.name + tail;
        node = it->second.parent;
    }
    const std::string head = keyPathOf(h.file.handle(), node);
    return head == "\\" && !tail.empty() ? tail : head + tail;
}

HiveAdditions HiveRegistry::additionsOf(Hive& h) {
    HiveAdditions out;
    if (h.added.empty() && h.addedBelow.empty()) return out;
    std::unordered_map<Node, std::size_t> index;
    const auto listOf = [&](Node node) {
        std::vector<SubkeyRef> list;
        for (const Child& c : childrenOf(h, node)) {
            // Made keys get their index below, once all are numbered.
            list.push_back(SubkeyRef{isAdded(c.node), c.node, c.name});
        }
        return list;
    };
    // Parents before their children: made keys are walked down from the
    // keys of hivex's hive that gained subkeys.
    std::vector<Node> order;
    for (const auto& [parent, below] : h.addedBelow) {
        if (isAdded(parent) || below.empty()) continue;
        out.parents.emplace_back(parent, listOf(parent));
        for (Node n : below) order.push_back(n);
    }
    for (std::size_t i = 0; i < order.size(); ++i) {
        index.emplace(order[i], i);
        auto below = h.addedBelow.find(order[i]);
        if (below == h.addedBelow.end()) continue;
        for (Node n : below->second) order.push_back(n);
    }
    for (Node n : order) {
        const AddedKey& k = h.added.at(n);
        AddedKeyRecord r;
        r.name = k.name;
        if (isAdded(k.parent)) {
            r.parent = index.at(k.parent);
        } else {
            r.parentNode = k.parent;
        }
        auto extra = h.extras.find(n);
        r.written = extra == h.extras.end() ? 0 : extra->second.written;
        r.values = &k.values;
        if (h.addedBelow.count(n) != 0) r.subkeys = listOf(n);
        out.keys.push_back(std::move(r));
    }
    const auto renumber = [&](std::vector<SubkeyRef>& list) {
        for (SubkeyRef& s : list) {
            if (s.added) s.ref = index.at(s.ref);
        }
    };
    for (auto& [parent, list] : out.parents) renumber(list);
    for (AddedKeyRecord& r : out.keys) renumber(r.subkeys);
    return out;
}

long HiveRegistry::commitHive(Hive& h, std::string* detail) {
    if (!h.file.changed()) return kSuccess;
    // Never throws: the destructor commits too.
    try {
        const HiveAdditions additions = additionsOf(h);
        return h.file.commit(detail, &additions);
    } catch (const Failure& f) {
        *detail = f.detail;
        return f.error;
    } catch (const std::bad_alloc&) {
        *detail = h.mount.file + ": not enough memory to write the hive";
        return kNotEnoughMemory;
    }
}

long HiveRegistry::commitAll() {
    for (auto& h : hives_) {
        std::string detail;
        if (!h->loaded || h->broken) continue;
        if (long rc = commitHive(*h, &detail)) throw Failure{rc, detail};
    }
    return kSuccess;
}

long HiveRegistry::flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    return guardedCall([&] { return commitAll(); });
}

long HiveRegistry::flushKey(Key key) {
    if (key == kNullKey) return finish(kInvalidHandle);
    return flush();
}

long HiveRegistry::beginBatch() {
    std::lock_guard<std::mutex> lock(mutex_);
    return guardedCall([&]() -> long {
        if (batchDepth_++ == 0) {
            for (auto& h : hives_) {
                h->undo.clear();
                h->changedBeforeBatch = h->loaded && h->file.changed();
            }
        }
        return kSuccess;
    });
}

long HiveRegistry::commitBatch() {
    std::lock_guard<std::mutex> lock(mutex_);
    return guardedCall([&]() -> long {
        if (batchDepth_ == 0) return kInvalidParameter;  // no batch open
        if (--batchDepth_ > 0) return kSuccess;
        for (auto& h : hives_) h->undo.clear();
        return kSuccess;
    });
}

long HiveRegistry::rollbackBatch() {
    std::lock_guard<std::mutex> lock(mutex_);
    return guardedCall([&]() -> long {
        if (batchDepth_ == 0) return kInvalidParameter;  // no batch open
        if (--batchDepth_ > 0) return kSuccess;
        for (auto& h : hives_) {
            if (!h->loaded || (!h->file.changed() && !h->broken)) continue;
            undoBatch(*h);
        }
        return kSuccess;
    });
}

void HiveRegistry::undoBatch(Hive& h) {
    h.order.clear();
    std::vector<Undo> undo;
    undo.swap(h.undo);
    if (!h.broken && h.changedBeforeBatch) {
        // Undo the batch's changes one by one, the last first. A key that
        // comes back is a new node: later steps name it by its old one.
        hive_h* hx = h.file.handle();
        std::unordered_map<Node, Node> moved;
        const auto now = [&](Node n) {
            auto it = moved.find(n);
            return it == moved.end() ? n : it->second;
        };
        for (auto it = undo.rbegin(); it != undo.rend(); ++it) {
            switch (it->kind) {
            case Undo::removeKey:
                ++h.deaths[now(it->node)];
                h.extras.erase(now(it->node));
                if (isAdded(now(it->node))) {
                    removeAddedKey(h, now(it->node));
                } else if (hivex_node_delete_child(hx, now(it->node)) != 0) {
                    changeFailed(h, "cannot roll back a new key", errno);
                }
                break;
            case Undo::restoreValues:
                setValues(h, now(it->node), it->values, "cannot roll back a value");
                break;
            case Undo::restoreKey: {
                const Node made = addKey(h, now(it->parent), it->name);
                moved[it->node] = made;
                setValues(h, made, it->values, "cannot roll back a deleted key");
                break;
            }
            }
        }
        h.undo.clear();
        return;
    }
    // The batch was the hive's first change (or broke it): read it again.
    for (const Undo& u : undo) {
        if (u.kind == Undo::removeKey) ++h.deaths[u.node];
    }
    h.extras.clear();
    // Keys made before a flush are read from the file again, as other nodes.
    for (const auto& made : h.added) ++h.deaths[made.first];
    h.added.clear();
    h.addedBelow.clear();
    std::string detail;
    if (long rc = h.file.reload(&detail)) {
        h.loaded = false;
        throw Failure{rc, detail};
    }
    h.broken = false;
}

const char* HiveRegistry::lastFailureDetail() const { return callFailureDetail().c_str(); }

long HiveRegistry::hiveReady(int index) {
    Hive& h = *hives_[index];
    if (h.broken) {
        throw Failure{kRegistryIoFailed, h.mount.file +
                                             ": an earlier change failed; the hive is "
                                             "not used again in this run"};
    }
    if (h.loaded) return kSuccess;
    std::string detail;
    if (long rc = h.file.load(&detail)) {
        if (rc == kFileNotFound) return rc;
        throw Failure{rc, detail};
    }
    h.loaded = true;
    h.top = hivex_root(h.file.handle());
    // The 32-bit view, unless the process chose the 64-bit one.
    if (h.mount.view32 && chosenRegistryView() != RegistryView::bits64) {
        for (const Child& c : childrenOf(h, h.top)) {
            if (c.sort == sortName("Wow6432Node")) {
                h.top = c.node;
                break;
            }
        }
    }
    return kSuccess;
}

long HiveRegistry::writable(int index) {
    Hive& h = *hives_[index];
    std::string detail;
    if (long rc = h.file.beginWrite(&detail)) throw Failure{rc, detail};
    return kSuccess;
}

bool HiveRegistry::alive(const Handle& h) {
    const Hive& hv = *hives_[h.hive];
    auto it = hv.deaths.find(h.node);
    std::uint64_t now = it == hv.deaths.end() ? 0 : it->second;
    return hv.loaded && now == h.life;
}

const std::vector<HiveRegistry::Child>& HiveRegistry::childrenOf(Hive& h, Node node) {
    auto it = h.order.find(node);
    if (it != h.order.end()) return it->second;
    std::vector<std::pair<std::string, Node>> read;
    std::string why;
    if (!isAdded(node) && !readSubkeys(h.file.handle(), node, read, &why)) damaged(h, node, why);
    if (auto below = h.addedBelow.find(node); below != h.addedBelow.end()) {
        for (Node n : below->second) read.emplace_back(addedKey(h, n).name, n);
    }
    std::vector<Child> list;
    list.reserve(read.size());
    for (auto& [name, child] : read) {
        if (hasZero(name)) h.zeroNamed.insert(node);
        list.push_back(Child{sortName(name), child, std::move(name)});
    }
    std::sort(list.begin(), list.end(), [](const Child& a, const Child& b) {
        return a.sort != b.sort ? a.sort < b.sort : a.node < b.node;
    });
    return h.order.emplace(node, std::move(list)).first->second;
}

Key HiveRegistry::addHandle(int hive, Node node, std::uint32_t access) {
    const std::uintptr_t value = newHandleValue(nextHandle_, handles_);
    auto it = hives_[hive]->deaths.find(node);
    std::uint64_t life = it == hives_[hive]->deaths.end() ? 0 : it->second;
    handles_.emplace(value, Handle{hive, node, life, access});
    return Key{value};
}

long HiveRegistry::resolve(Key key, Target& t) {
    if (isRootKey(key)) {
        t = Target{key, -1, 0, kAllRights, false};
        return kSuccess;
    }
    auto it = handles_.find(key.value);
    if (it == handles_.end()) return kInvalidHandle;
    const Handle& h = it->second;
    if (!alive(h)) return kKeyDeleted;
    t = Target{kNullKey, h.hive, h.node, h.access, true};
    return kSuccess;
}

void HiveRegistry::touch(Hive& h, Node node) { h.extras[node].written = fileTimeNow(); }

long HiveRegistry::walk(Target& t, const std::vector<std::string_view>& parts, bool create,
                        bool* created, std::string_view keyClass, std::uint32_t options) {
    std::size_t first = 0;
    if (t.hive < 0) {
        int whole = -1, named = -1;
        for (std::size_t i = 0; i < hives_.size(); ++i) {
            const HiveMount& m = hives_[i]->mount;
            if (!(m.root == t.root)) continue;
            if (m.keyName.empty())
                whole = static_cast<int>(i);
            else if (!parts.empty() && sortName(m.keyName) == sortName(parts[0]))
                named = static_cast<int>(i);
        }
        int chosen = whole >= 0 ? whole : named;
        if (chosen < 0) return parts.empty() ? kSuccess : kFileNotFound;
        if (long rc = hiveReady(chosen)) return rc;
        if (whole < 0) first = 1;
        t.hive = chosen;
        t.node = hives_[chosen]->top;
    }
    if (long rc = hiveReady(t.hive)) return rc;
    Hive& h = *hives_[t.hive];
    for (std::size_t i = first; i < parts.size(); ++i) {
        const std::string key = sortName(parts[i]);
        const auto& list = childrenOf(h, t.node);
        auto at = std::lower_bound(list.begin(), list.end(), key,
                                   [](const Child& c, const std::string& k) { return c.sort < k; });
        if (at != list.end() && at->sort == key) {
            t.node = at->node;
            if (created) *created = false;
            continue;
        }
        if (!create) return kFileNotFound;
        if (!isUtf8(parts[i])) return kInvalidParameter;
        const bool makeVolatile = (options & kRegOptionVolatile) != 0;
        if (!makeVolatile) {
            auto parent = h.extras.find(t.node);
            if (parent != h.extras.end() && parent->second.isVolatile) return kChildMustBeVolatile;
        }
        // hivex compares names up to a zero character: a subkey whose name
        // holds one would be taken for the new key (hivex writes the keys it
        // read). Only lists that hold such a name are searched.
        for (const Child& c : list) {
            if (h.zeroNamed.count(t.node) == 0) break;
            if (hasZero(c.name) && sortName(c.name.substr(0, c.name.find('\0'))) == key) {
                throw Failure{kAccessDenied,
                              h.mount.file + ": key " + pathOf(h, t.node) + ": its subkey \"" +
                                  c.name.substr(0, c.name.find('\0')) + "\\0" +
                                  c.name.substr(c.name.find('\0') + 1) +
                                  "\" has a zero character in its name, which hivex takes for " +
                                  std::string(parts[i]) + "; the key is not created"};
            }
        }
        if (list.size() >= kMaxSubkeys) {
            throw Failure{kRegistryIoFailed, h.mount.file + ": key " + pathOf(h, t.node) + " has " +
                                                 std::to_string(list.size()) +
                                                 " subkeys, the most hivex reads; " +
                                                 std::string(parts[i]) + " is not created"};
        }
        writable(t.hive);
        const std::string name(parts[i]);
        const Node made = addKey(h, t.node, name);
        // The new key joins the cached list in its place (rebuilding the list
        // reads every sibling's name again: quadratic for many new keys).
        auto& siblings = h.order[t.node];
        Child added{key, made, name};
        siblings.insert(std::upper_bound(siblings.begin(), siblings.end(), added,
                                         [](const Child& a, const Child& b) {
                                             return a.sort != b.sort ? a.sort < b.sort
                                                                     : a.node < b.node;
                                         }),
                        std::move(added));
        if (batchDepth_ > 0) h.undo.push_back(Undo{Undo::removeKey, made, 0, {}, {}});
        touch(h, t.node);
        h.extras[made] = KeyExtra{std::string(keyClass), makeVolatile, fileTimeNow()};
        t.node = made;
        if (created) *created = true;
    }
    return kSuccess;
}

long HiveRegistry::createKeyEx(Key parent, const char* subKey, std::uint32_t options,
                               std::uint32_t access, Key* result, std::uint32_t* disposition) {
    return createKeyExWithClass(parent, subKey, nullptr, options, access, result, disposition);
}

long HiveRegistry::createKeyExWithClass(Key parent, const char* subKey, const char* keyClass,
                                        std::uint32_t options, std::uint32_t access, Key* result,
                                        std::uint32_t* disposition) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guardedCall([&]() -> long {
        if (long rc = startKeyCall(parent, result, kBadKey)) return rc;
        Target t;
        if (long rc = resolve(parent, t)) return rc;
        std::vector<std::string_view> parts;
        if (long rc = splitPath(subKey, parts)) return rc;
        const std::uint32_t rights = grantedRights(access);
        bool created = false;
        if (long rc = walk(t, parts, true, &created, keyClass ? keyClass : "", options)) return rc;
        if (t.hive >= 0 && wantsWrite(rights)) writable(t.hive);
        if (disposition) *disposition = created ? kCreatedNewKey : kOpenedExistingKey;
        if (parts.empty() && !t.isHandle) {
            *result = parent;
        } else {
            *result = addHandle(t.hive, t.node, rights);
        }
        return kSuccess;
    });
}

long HiveRegistry::openKeyEx(Key parent, const char* subKey, std::uint32_t access, Key* result) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guardedCall([&]() -> long {
        if (long rc = startKeyCall(parent, result, kInvalidParameter)) return rc;
        Target t;
        if (long rc = resolve(parent, t)) return rc;
        std::vector<std::string_view> parts;
        if (long rc = splitOpenPath(parent, subKey, parts)) return rc;
        if (long rc = walk(t, parts, false, nullptr)) return rc;
        if (parts.empty() && !t.isHandle) {
            *result = parent;
        } else {
            *result = addHandle(t.hive, t.node, grantedRights(access));
        }
        return kSuccess;
    });
}

long HiveRegistry::deleteKey(Key key, const char* subKey) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guardedCall([&]() -> long {
        if (subKey == nullptr) return kInvalidParameter;
        Target t;
        if (long rc = resolve(key, t)) return rc;
        std::vector<std::string_view> parts;
        if (long rc = splitPath(subKey, parts)) return rc;
        if (long rc = walk(t, parts, false, nullptr)) return rc;
        if (t.hive < 0) return kAccessDenied;  // a root stays
        Hive& h = *hives_[t.hive];
        if (t.node == h.top || t.node == hivex_root(h.file.handle())) return kAccessDenied;
        if (!childrenOf(h, t.node).empty()) return kAccessDenied;
        const Node parentNode = parentOf(h, t.node);
        Undo undo{Undo::restoreKey, t.node, parentNode, {}, {}};
        if (batchDepth_ > 0) {
            // What brings the key back if the batch is rolled back.
            for (const Child& c : childrenOf(h, parentNode)) {
                if (c.node == t.node) undo.name = c.name;
            }
            undo.values = valuesOf(h, t.node);
        }
        writable(t.hive);
        if (isAdded(t.node)) {
            removeAddedKey(h, t.node);
        } else if (hivex_node_delete_child(h.file.handle(), t.node) != 0) {
            changeFailed(h, "cannot delete a key", errno);
        }
        h.file.markChanged();
        ++h.deaths[t.node];
        h.extras.erase(t.node);
        touch(h, parentNode);
        if (batchDepth_ > 0) h.undo.push_back(std::move(undo));
        // The key leaves its parent's cached order (rebuilding that reads
        // every sibling again).
        if (auto cached = h.order.find(parentNode); cached != h.order.end()) {
            auto& siblings = cached->second;
            siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                          [&](const Child& c) { return c.node == t.node; }),
                           siblings.end());
        }
        h.order.erase(t.node);
        return kSuccess;
    });
}

long HiveRegistry::enumKey(Key key, std::uint32_t index, char* name, std::uint32_t nameSize) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guardedCall([&]() -> long {
        Target t;
        if (long rc = resolve(key, t)) return rc;
        if (name == nullptr) return kInvalidParameter;
        if ((t.access & kEnumerateSubKeys) == 0) return kAccessDenied;
        std::string found;
        if (long rc = walk(t, {}, false, nullptr)) return rc;
        if (t.hive < 0) {
            // A root made of named mounts lists those whose hive exists.
            std::vector<std::pair<std::string, std::string>> names;
            for (std::size_t i = 0; i < hives_.size(); ++i) {
                const HiveMount& m = hives_[i]->mount;
                if (!(m.root == t.root)) continue;
                if (hiveReady(static_cast<int>(i)) != kSuccess) continue;
                names.emplace_back(sortName(m.keyName), m.keyName);
            }
            if (names.empty()) return kFileNotFound;
            std::sort(names.begin(), names.end());
            if (index >= names.size()) return kNoMoreItems;
            found = names[index].second;
        } else {
            Hive& h = *hives_[t.hive];
            const auto& list = childrenOf(h, t.node);
            if (index >= list.size()) return kNoMoreItems;
            found = list[index].name;
        }
        if (found.size() + 1 > nameSize) return kMoreData;
        std::memcpy(name, found.data(), found.size());
        name[found.size()] = '\0';
        return kSuccess;
    });
}

long HiveRegistry::queryInfoKey(Key key, char* keyClass, std::uint32_t* classSize, KeyInfo* info) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guardedCall([&]() -> long {
        if (keyClass != nullptr && classSize == nullptr) return kInvalidParameter;
        Target t;
        if (long rc = resolve(key, t)) return rc;
        if ((t.access & kQueryValue) == 0) return kAccessDenied;
        if (long rc = walk(t, {}, false, nullptr)) return rc;
        KeyInfo found;
        std::string ownClass;
        auto count = [](std::uint32_t& most, std::string_view name) {
            most = std::max(most, static_cast<std::uint32_t>(nameLength(name)));
        };
        if (t.hive < 0) {
            // A root made of named mounts holds those whose hive exists.
            for (std::size_t i = 0; i < hives_.size(); ++i) {
                const HiveMount& m = hives_[i]->mount;
                if (!(m.root == t.root) || hiveReady(static_cast<int>(i)) != kSuccess) continue;
                ++found.subKeys;
                count(found.maxSubKeyLength, m.keyName);
            }
            if (found.subKeys == 0) return kFileNotFound;
        } else {
            Hive& h = *hives_[t.hive];
            auto extra = [&](Node n) {
                auto it = h.extras.find(n);
                return it == h.extras.end() ? KeyExtra{} : it->second;
            };
            for (const Child& c : childrenOf(h, t.node)) {
                ++found.subKeys;
                count(found.maxSubKeyLength, c.name);
                count(found.maxClassLength, extra(c.node).keyClass);
            }
            for (const StoredValue& v : valuesOf(h, t.node)) {
                ++found.values;
                count(found.maxValueNameLength, v.name);
                found.maxValueLength =
                    std::max(found.maxValueLength, static_cast<std::uint32_t>(v.raw.size()));
            }
            const KeyExtra own = extra(t.node);
            ownClass = own.keyClass;
            found.lastWriteTime = own.written;
            if (found.lastWriteTime == 0 && !isAdded(t.node)) {
                const std::int64_t stamp = hivex_node_timestamp(h.file.handle(), t.node);
                found.lastWriteTime = stamp > 0 ? static_cast<std::uint64_t>(stamp) : 0;
            }
        }
        if (info != nullptr) *info = found;
        return giveKeyClass(ownClass, keyClass, classSize);
    });
}

long HiveRegistry::closeKey(Key key) {
    std::lock_guard<std::mutex> lock(mutex_);
    return closeHandleIn(handles_, key);
}

}  // namespace vrk::reg::hive
