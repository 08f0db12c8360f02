// Strict reads of key and value records through hivex.
#include "registry/hive/hive_records.hpp"

#include <hivex.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vrk::reg::hive {

namespace {

// The deepest a parent chain is followed for a message.
constexpr int kMaxPathDepth = 512;

std::string errnoText() { return errno != 0 ? std::strerror(errno) : "no reason given"; }

std::string shown(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (c == '\0')
            out += "\\0";
        else
            out += c;
    }
    return out;
}

}  // namespace

bool nodeName(hive_h* h, Node node, std::string& name) {
    errno = 0;
    char* s = hivex_node_name(h, node);
    if (s == nullptr) return false;
    const std::size_t len = hivex_node_name_len(h, node);
    name.assign(s, len);
    std::free(s);
    return true;
}

std::string keyPathOf(hive_h* h, Node node) {
    const Node root = hivex_root(h);
    std::vector<std::string> names;
    for (int depth = 0; node != 0 && node != root && depth < kMaxPathDepth; ++depth) {
        std::string name;
        names.push_back(nodeName(h, node, name) ? shown(name) : std::string("?"));
        errno = 0;
        node = hivex_node_parent(h, node);
    }
    if (names.empty()) return "\\";
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it) path += "\\" + *it;
    return path;
}

bool readSubkeys(hive_h* h, Node node, std::vector<std::pair<std::string, Node>>& out,
                 std::string* why) {
    out.clear();
    errno = 0;
    hive_node_h* children = hivex_node_children(h, node);
    if (children == nullptr) {
        *why = "its subkey list cannot be read (" + errnoText() + ")";
        return false;
    }
    const Node root = hivex_root(h);
    bool ok = true;
    for (hive_node_h* c = children; *c != 0 && ok; ++c) {
        std::string name;
        if (!nodeName(h, *c, name)) {
            *why = "the name of its subkey " + std::to_string(c - children + 1) +
                   " cannot be read (" + errnoText() + ")";
            ok = false;
        } else if (*c == root || *c == node || hivex_node_parent(h, *c) != node) {
            *why = "its subkey list names key \"" + shown(name) +
                   "\", which is not its subkey (the list loops or is damaged)";
            ok = false;
        } else {
            out.emplace_back(std::move(name), *c);
        }
    }
    std::free(children);
    return ok;
}

bool readStoredValues(hive_h* h, Node node, std::vector<StoredValue>& out, std::string* why) {
    out.clear();
    errno = 0;
    hive_value_h* values = hivex_node_values(h, node);
    if (values == nullptr) {
        *why = "its value list cannot be read (" + errnoText() + ")";
        return false;
    }
    bool ok = true;
    for (hive_value_h* v = values; *v != 0 && ok; ++v) {
        StoredValue value;
        errno = 0;
        char* key = hivex_value_key(h, *v);
        if (key == nullptr) {
            *why = "the name of its value " + std::to_string(v - values + 1) + " cannot be read (" +
                   errnoText() + ")";
            ok = false;
            break;
        }
        value.name.assign(key, hivex_value_key_len(h, *v));
        std::free(key);
        hive_type t{};
        std::size_t len = 0;
        errno = 0;
        char* data = hivex_value_value(h, *v, &t, &len);
        if (data == nullptr) {
            *why = "value \"" + shown(value.name) + "\" cannot be read (" + errnoText() + ")";
            ok = false;
            break;
        }
        std::memcpy(&value.type, &t, sizeof value.type);
        value.raw.assign(data, len);
        std::free(data);
        out.push_back(std::move(value));
    }
    std::free(values);
    return ok;
}

}  // namespace vrk::reg::hive
