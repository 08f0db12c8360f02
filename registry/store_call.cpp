#include "registry/store_call.hpp"

namespace vrk::reg {

std::string& callFailureDetail() {
    static thread_local std::string detail;
    return detail;
}

}  // namespace vrk::reg
