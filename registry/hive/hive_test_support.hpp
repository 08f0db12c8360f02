// Helpers for the hive backend's tests: a Windows image's config directory
// with empty hives of our making, and direct looks at a hive through hivex.
// Thread safety: test code, one thread.
#pragma once

#include <hivex.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "registry/hive/hive_bytes.hpp"
#include "registry/hive/hive_format.hpp"
#include "registry/hive/hive_registry.hpp"
#include "registry/registry_test_support.hpp"

namespace vrk::reg::hive::testing {

using vrk::reg::testing::TempDir;

// A config directory holding empty SOFTWARE and SYSTEM hives (and, when
// asked, an NTUSER.DAT beside it).
struct Image {
    TempDir dir;
    std::string software = dir.file("SOFTWARE");
    std::string system = dir.file("SYSTEM");
    std::string ntuser = dir.file("NTUSER.DAT");
    Image() {
        std::string error;
        if (!writeEmptyHive(software, "ROOT", &error) || !writeEmptyHive(system, "ROOT", &error) ||
            !writeEmptyHive(ntuser, "ROOT", &error)) {
            ADD_FAILURE() << error;
        }
    }
    std::unique_ptr<HiveRegistry> open(bool withUser = true) const {
        return std::make_unique<HiveRegistry>(
            imageMounts(dir.path(), withUser ? ntuser : std::string()));
    }
};

// Runs command through the shell; its standard output, or "<exit N>" when
// it failed.
inline std::string runCommand(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr) return "<popen failed>";
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int status = ::pclose(p);
    if (status != 0) return "<exit " + std::to_string(status) + ">";
    return out;
}

// The file's bytes.
inline std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// hivex's view of a hive file, for checks that bypass our backend.
class Peek {
public:
    explicit Peek(const std::string& path) : h_(hivex_open(path.c_str(), 0)) {}
    ~Peek() {
        if (h_ != nullptr) hivex_close(h_);
    }
    bool ok() const { return h_ != nullptr; }
    // The node at path ("A\\B"; "" the root), or 0.
    hive_node_h node(const std::string& path) const {
        hive_node_h n = hivex_root(h_);
        std::size_t start = 0;
        while (n != 0 && start < path.size()) {
            std::size_t cut = path.find('\\', start);
            if (cut == std::string::npos) cut = path.size();
            n = hivex_node_get_child(h_, n, path.substr(start, cut - start).c_str());
            start = cut + 1;
        }
        return n;
    }
    // The subkey names of path in the file's order.
    std::vector<std::string> children(const std::string& path) const {
        std::vector<std::string> names;
        hive_node_h* list = hivex_node_children(h_, node(path));
        for (hive_node_h* c = list; c != nullptr && *c != 0; ++c) {
            char* name = hivex_node_name(h_, *c);
            names.push_back(name);
            std::free(name);
        }
        std::free(list);
        return names;
    }
    // The raw bytes of value name at path, or "<missing>".
    std::string raw(const std::string& path, const std::string& name) const {
        hive_value_h v = hivex_node_get_value(h_, node(path), name.c_str());
        if (v == 0) return "<missing>";
        hive_type t{};
        std::size_t len = 0;
        char* data = hivex_value_value(h_, v, &t, &len);
        std::string bytes(data, len);
        std::free(data);
        return bytes;
    }

private:
    hive_h* h_;
};

}  // namespace vrk::reg::hive::testing
