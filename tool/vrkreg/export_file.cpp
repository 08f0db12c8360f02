#include "tool/vrkreg/export_file.hpp"

#include "tool/vrkreg/reg_access.hpp"

namespace vrk::regfile {

ExportFile::ExportFile(const std::string& target) : target_(target) {
    if (!file_.open(target)) fail();
}

void ExportFile::fail() { throw CommandFailure("cannot write " + target_ + ": " + file_.why()); }

void ExportFile::write(std::string_view bytes) {
    if (!file_.write(bytes.data(), bytes.size())) fail();
}

void ExportFile::commit() {
    if (!file_.commit()) fail();
}

}  // namespace vrk::regfile
