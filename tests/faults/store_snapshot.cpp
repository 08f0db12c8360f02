// What the store fault loop reads of a store.
#include "tests/faults/store_snapshot.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>

#include "registry/iregistry.hpp"
#include "registry/testing/scratch_registry.hpp"

namespace vrk::test {

namespace {

namespace fs = std::filesystem;
using namespace vrk::reg;

std::string valueText(const std::string& name, std::uint32_t type, const std::string& bytes) {
    return name + "|" + std::to_string(type) + "|" + bytes;
}

void walk(Registry& reg, Key top, const std::string& topPath, Snapshot& out) {
    std::vector<std::pair<Key, std::string>> pending{{top, topPath}};
    while (!pending.empty()) {
        auto [key, path] = pending.back();
        pending.pop_back();
        std::vector<std::string>& values = out[path];
        std::vector<char> name(16385);
        for (std::uint32_t i = 0;; ++i) {
            std::uint32_t nameSize = static_cast<std::uint32_t>(name.size());
            std::uint32_t type = 0;
            std::uint32_t dataSize = 0;
            if (reg.enumValue(key, i, name.data(), &nameSize, &type, nullptr, &dataSize) !=
                kSuccess)
                break;
            std::string data(dataSize, '\0');
            reg.queryValueEx(key, name.data(), &type, reinterpret_cast<unsigned char*>(data.data()),
                             &dataSize);
            values.push_back(valueText(std::string(name.data(), nameSize), type, data));
        }
        char sub[300];
        for (std::uint32_t i = 0; reg.enumKey(key, i, sub, sizeof sub) == kSuccess; ++i) {
            Key child = kNullKey;
            if (reg.openKeyEx(key, sub, kKeyRead, &child) == kSuccess) {
                pending.emplace_back(child, path + "\\" + sub);
            }
        }
        if (!isRootKey(key)) reg.closeKey(key);
    }
}

// The part of a snapshot below one root ("HKLM", ...).
Snapshot hive(const Snapshot& s, const std::string& root) {
    Snapshot part;
    for (const auto& [path, values] : s) {
        if (path == root || path.rfind(root + "\\", 0) == 0) part[path] = values;
    }
    return part;
}

}  // namespace

Snapshot snapshot(const std::string& store) {
    auto reg = makeScratchRegistry(store);
    Snapshot out;
    walk(*reg, kClassesRoot, "HKCR", out);
    walk(*reg, kCurrentUser, "HKCU", out);
    walk(*reg, kLocalMachine, "HKLM", out);
    walk(*reg, kUsers, "HKU", out);
    return out;
}

std::string integrity(const std::string& store) {
    std::string verdict = "ok";
    for (const auto& entry : fs::directory_iterator(store)) {
        const std::string path = entry.path().string();
        if (entry.path().extension() != ".db") continue;
        sqlite3* db = nullptr;
        std::string result;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            result = std::string("cannot open: ") + sqlite3_errmsg(db);
        } else {
            sqlite3_stmt* s = nullptr;
            if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK) {
                while (sqlite3_step(s) == SQLITE_ROW) {
                    result += reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
                }
            } else {
                result = sqlite3_errmsg(db);
            }
            sqlite3_finalize(s);
        }
        sqlite3_close_v2(db);
        if (result != "ok") verdict = path + ": " + result;
    }
    return verdict;
}

void copyStore(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::remove_all(to, ec);
    fs::create_directories(to);
    for (const auto& entry : fs::directory_iterator(from)) {
        fs::copy_file(entry.path(), to + "/" + entry.path().filename().string());
    }
}

std::string difference(const Snapshot& actual, const Snapshot& expected) {
    std::string out;
    for (const auto& [path, values] : actual) {
        auto it = expected.find(path);
        if (it == expected.end()) {
            out += "  extra " + path + "\n";
        } else if (it->second != values) {
            out += "  changed " + path + "\n";
        }
    }
    for (const auto& [path, values] : expected) {
        if (actual.count(path) == 0) out += "  missing " + path + "\n";
    }
    return out;
}

bool eachHiveBeforeOrAfter(const Snapshot& now, const Snapshot& before, const Snapshot& after) {
    for (const char* root : {"HKCR", "HKCU", "HKLM", "HKU"}) {
        const Snapshot part = hive(now, root);
        if (part != hive(before, root) && part != hive(after, root)) return false;
    }
    return true;
}

Entry entryOf(const Snapshot& s, const std::string& path) {
    auto it = s.find(path);
    if (it == s.end()) return std::nullopt;
    return it->second;
}

bool oldNewOrPartWay(const Entry& now, const Entry& before, const Entry& after) {
    if (now == before || now == after) return true;
    if (!after) return false;
    if (!now) return true;
    if (now->size() > after->size()) return false;
    return std::equal(now->begin(), now->end(), after->begin());
}

}  // namespace vrk::test
