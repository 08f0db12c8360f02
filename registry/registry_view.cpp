// The process's registry view.
#include "registry/registry_view.hpp"

#include <atomic>

namespace vrk::reg {
namespace {

std::atomic<RegistryView> chosen{RegistryView::standard};

}  // namespace

void chooseRegistryView(RegistryView view) { chosen.store(view, std::memory_order_relaxed); }

RegistryView chosenRegistryView() { return chosen.load(std::memory_order_relaxed); }

}  // namespace vrk::reg
