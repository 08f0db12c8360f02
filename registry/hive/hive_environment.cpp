// Selecting a Windows image through the environment.
#include <cstdlib>
#include <string>

#include "registry/hive/hive_registry.hpp"

namespace vrk::reg::hive {

namespace {

// The variable's value in either spelling (the one with a blank wins),
// blanks around it removed; "" when unset.
std::string variable(const char* blankForm, const char* underscoreForm) {
    const char* v = std::getenv(blankForm);
    if (v == nullptr) v = std::getenv(underscoreForm);
    if (v == nullptr) return std::string();
    std::string s(v);
    const char* blanks = " \t\r\n\f\v";
    std::size_t first = s.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

}  // namespace

std::unique_ptr<Registry> registryFromEnvironment() {
    const std::string chosen = variable("TORQA REGISTRY", "TORQA_REGISTRY");
    const std::size_t prefix = sizeof kHivePrefix - 1;
    if (chosen.compare(0, prefix, kHivePrefix) != 0) return nullptr;
    std::string config = chosen.substr(prefix);
    while (config.size() > 1 && config.back() == '/') config.pop_back();
    std::vector<HiveMount> mounts = imageMounts(config, variable("TORQA NTUSER", "TORQA_NTUSER"));
    // The owner's consent to writing hives whose logs were not replayed.
    const bool discardLogs = variable("TORQA HIVE LOGS", "TORQA_HIVE_LOGS") == "discard";
    for (HiveMount& m : mounts) m.discardLogs = discardLogs;
    return std::make_unique<HiveRegistry>(std::move(mounts));
}

}  // namespace vrk::reg::hive
