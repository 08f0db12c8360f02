// The default text descriptions of IVBase.
#include "base/istring.hpp"
#include "base/ivbase.hpp"

#include <gtest/gtest.h>

#include <memory>

TEST(IVBase, DefaultDescriptions) {
    std::unique_ptr<IVBase> object = std::make_unique<IVBase>();
    EXPECT_TRUE(object->asString() == "IVBase object");
    EXPECT_TRUE(object->asDebugInfo() == "IVBase object");
}
