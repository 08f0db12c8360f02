// HiveRegistry: mounts, handles, the path walk, key calls, batches and the
// commit of changed hives.
#include <hivex.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/process.hpp"
#include "platform/registry/hive/hive_registry_support.hpp"
#include "platform/registry/registry_result.hpp"
#include "platform/registry/registry_view.hpp"
#include "platform/registry/hive/hive_text.hpp"

namespace vrk::reg::hive {

thread_local std::string failureDetail;

namespace {

long errorOfErrno(int err) { return err == ENOMEM ? kNotEnoughMemory : kRegistryIoFailed; }

}  // namespace

HiveRegistry::HiveRegistry(std::vector<HiveMount> mounts) : ownerProcess_(::getpid()) {
    for (auto& m : mounts) hives_.push_back(std::make_unique<Hive>(std::move(m)));
}

HiveRegistry::~HiveRegistry() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (::getpid() != ownerProcess_) return;
    for (auto& h : hives_) {
        std::string detail;
        if (h->loaded && !h->broken && h->file.commit(&detail) != kSuccess) {
            std::fprintf(stderr, "vrk: changes to the hive were not saved: %s\n", detail.c_str());
        }
    }
}

void HiveRegistry::changeFailed(Hive& h, const std::string& what, int err) {
    h.broken = true;
    throw Failure{errorOfErrno(err), h.mount.file + ": " + what + ": " + std::strerror(err) +
                                         "; this run's changes to the hive are dropped"};
}

long HiveRegistry::commitAll() {
    for (auto& h : hives_) {
        std::string detail;
        if (!h->loaded || h->broken) continue;
        if (long rc = h->file.commit(&detail)) throw Failure{rc, detail};
        h->createdInBatch.clear();
    }
    return kSuccess;
}

long HiveRegistry::flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&] { return commitAll(); });
}

long HiveRegistry::flushKey(Key key) {
    if (key == kNullKey) return finish(kInvalidHandle);
    return flush();
}

long HiveRegistry::beginBatch() {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        if (batchDepth_ == 0) commitAll();
        ++batchDepth_;
        return kSuccess;
    });
}

long HiveRegistry::commitBatch() {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        if (batchDepth_ == 0) return kInvalidParameter;  // no batch open
        if (--batchDepth_ > 0) return kSuccess;
        return commitAll();
    });
}

long HiveRegistry::rollbackBatch() {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        if (batchDepth_ == 0) return kInvalidParameter;  // no batch open
        if (--batchDepth_ > 0) return kSuccess;
        for (auto& h : hives_) {
            if (!h->loaded || (!h->file.changed() && !h->broken)) continue;
            // Keys made since the batch began vanish with the reload: their
            // handles go stale.
            for (Node n : h->createdInBatch) ++h->deaths[n];
            h->createdInBatch.clear();
            h->order.clear();
            std::string detail;
            if (long rc = h->file.reload(&detail)) {
                h->loaded = false;
                throw Failure{rc, detail};
            }
            h->broken = false;
        }
        return kSuccess;
    });
}

const char* HiveRegistry::lastFailureDetail() const { return failureDetail.c_str(); }

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
        for (const auto& [name, node] : childrenOf(h, h.top)) {
            if (name == sortName("Wow6432Node")) {
                h.top = node;
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

const std::vector<std::pair<std::string, HiveRegistry::Node>>& HiveRegistry::childrenOf(Hive& h,
                                                                                        Node node) {
    auto it = h.order.find(node);
    if (it != h.order.end()) return it->second;
    std::vector<std::pair<std::string, Node>> list;
    hive_h* hx = h.file.handle();
    hive_node_h* children = hivex_node_children(hx, node);
    if (children == nullptr)
        throw Failure{kBadDb, h.mount.file + ": a key's subkey list is damaged"};
    for (hive_node_h* c = children; *c != 0; ++c) {
        char* name = hivex_node_name(hx, *c);
        if (name == nullptr) continue;
        list.emplace_back(sortName(name), *c);
        std::free(name);
    }
    std::free(children);
    std::sort(list.begin(), list.end());
    return h.order.emplace(node, std::move(list)).first->second;
}

Key HiveRegistry::addHandle(int hive, Node node, std::uint32_t access) {
    std::uintptr_t value;
    do {
        value = nextHandle_;
        nextHandle_ += 4;
        if (nextHandle_ >= kClassesRoot.value && nextHandle_ <= kUsers.value) {
            nextHandle_ = kUsers.value + 4;
        }
    } while (handles_.count(value) != 0 || value == 0);
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

long HiveRegistry::walk(Target& t, const std::vector<std::string_view>& parts, bool create,
                        bool* created) {
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
        auto at = std::lower_bound(list.begin(), list.end(), std::make_pair(key, Node(0)));
        if (at != list.end() && at->first == key) {
            t.node = at->second;
            if (created) *created = false;
            continue;
        }
        if (!create) return kFileNotFound;
        if (!isUtf8(parts[i])) return kInvalidParameter;
        writable(t.hive);
        const std::string name(parts[i]);
        hive_node_h made = hivex_node_add_child(h.file.handle(), t.node, name.c_str());
        if (made == 0) changeFailed(h, "cannot add key " + name, errno);
        h.file.markChanged();
        h.order.erase(t.node);
        if (batchDepth_ > 0) h.createdInBatch.push_back(made);
        t.node = made;
        if (created) *created = true;
    }
    return kSuccess;
}

long HiveRegistry::createKeyEx(Key parent, const char* subKey, std::uint32_t /*options*/,
                               std::uint32_t access, Key* result, std::uint32_t* disposition) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        if (result == nullptr) return kBadKey;
        if (parent == kNullKey) return kInvalidHandle;
        *result = kNullKey;
        Target t;
        if (long rc = resolve(parent, t)) return rc;
        std::vector<std::string_view> parts;
        if (long rc = splitPath(subKey, parts)) return rc;
        const std::uint32_t rights = grantedRights(access);
        bool created = false;
        if (long rc = walk(t, parts, true, &created)) return rc;
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
    return guarded([&]() -> long {
        if (result == nullptr) return kInvalidParameter;
        if (parent == kNullKey) return kInvalidHandle;
        *result = kNullKey;
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
    return guarded([&]() -> long {
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
        writable(t.hive);
        const Node parentNode = hivex_node_parent(h.file.handle(), t.node);
        if (hivex_node_delete_child(h.file.handle(), t.node) != 0) {
            changeFailed(h, "cannot delete a key", errno);
        }
        h.file.markChanged();
        ++h.deaths[t.node];
        h.order.erase(parentNode);
        h.order.erase(t.node);
        return kSuccess;
    });
}

long HiveRegistry::enumKey(Key key, std::uint32_t index, char* name, std::uint32_t nameSize) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
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
            char* n = hivex_node_name(h.file.handle(), list[index].second);
            if (n == nullptr) throw Failure{kBadDb, h.mount.file + ": a key name cannot be read"};
            found = n;
            std::free(n);
        }
        if (found.size() + 1 > nameSize) return kMoreData;
        std::memcpy(name, found.data(), found.size());
        name[found.size()] = '\0';
        return kSuccess;
    });
}

long HiveRegistry::closeKey(Key key) {
    std::lock_guard<std::mutex> lock(mutex_);
    return guarded([&]() -> long {
        if (isRootKey(key)) return kSuccess;
        return handles_.erase(key.value) == 1 ? kSuccess : kInvalidHandle;
    });
}

}  // namespace vrk::reg::hive
