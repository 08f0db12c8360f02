// The resources that every program carries on Windows: the application
// manifest that runs it with the caller's rights (asInvoker), and a version
// resource naming its file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <windows.h>

#include "platform/child_process.hpp"

namespace {

std::string resourceBytes(HMODULE module, LPCSTR name, LPCSTR type) {
    HRSRC found = FindResourceA(module, name, type);
    if (found == nullptr) return "";
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    return data != nullptr
               ? std::string(static_cast<const char*>(data), SizeofResource(module, found))
               : "";
}

// text as the UTF-16 the version resource holds its strings in.
std::string wide(const std::string& text) {
    std::string result;
    for (char c : text) result.append({c, '\0'});
    return result;
}

TEST(ProgramResources, EveryProgramRunsAsInvokerAndNamesItsVersion) {
    const std::string bin = vrk::platform::runningProgramDirectory() + "\\..\\bin";
    int checked = 0;
    for (const char* program : {"vrkini", "vrkreg", "vrktrace"}) {
        const std::string path = vrk::platform::programFile(bin, program);
        if (!std::filesystem::exists(path)) continue;  // not built in this tree
        HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << path;
        const std::string manifest =
            resourceBytes(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
        EXPECT_NE(
            manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
            std::string::npos)
            << path << ": " << manifest;
        const std::string version =
            resourceBytes(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));
        EXPECT_NE(version.find("\xBD\x04\xEF\xFE"), std::string::npos)
            << path;  // fixed file information
        EXPECT_NE(version.find(wide("OriginalFilename")), std::string::npos) << path;
        EXPECT_NE(version.find(wide(std::string(program) + ".exe")), std::string::npos) << path;
        FreeLibrary(module);
        ++checked;
    }
    EXPECT_GE(checked, 1) << "no program found in " << bin;
}

}  // namespace
