// The registry view a process works in, as `reg /reg:32` and `/reg:64`
// choose it on Windows. The suite's profile lives in the 32-bit view, which
// is every backend's default.
//
// The Windows backend opens and creates keys in the chosen view (the 64-bit
// view of a 64-bit Windows, or its 32-bit view); the hive store mounts an
// image's SOFTWARE hive with or without its Wow6432Node key; our SQLite
// store has one view only, and takes every choice as that one.
//
// Thread safety: choose the view before the first registry call; reading it
// is safe from any thread.
#pragma once

namespace vrk::reg {

enum class RegistryView {
    standard,  // the suite's own: the 32-bit view
    bits32,    // the 32-bit view, chosen explicitly
    bits64,    // the 64-bit view
};

void chooseRegistryView(RegistryView view);
RegistryView chosenRegistryView();

}  // namespace vrk::reg
