// The application object: singleton, process id and stored arguments.
#include "base/iapp.hpp"

#include "platform/process.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {
std::string bytes(const IString& s) { return std::string(static_cast<const char*>(s), s.length()); }
}  // namespace

TEST(ICurrentApplication, OneObjectWithTheProcessId) {
    ICurrentApplication& first = IApplication::current();
    EXPECT_EQ(&first, &IApplication::current());
    EXPECT_EQ(first.id(), static_cast<unsigned long>(vrk::platform::currentProcessId()));
}

TEST(ICurrentApplication, NoArgumentsBeforeSetArgs) {
    ICurrentApplication& app = IApplication::current();
    EXPECT_EQ(app.argc(), 0);
    for (int n : {-1, 0, 1, INT_MAX, INT_MIN}) EXPECT_EQ(app.argv(n).length(), 0u) << n;
}

TEST(ICurrentApplication, StoresCopiesOfTheArguments) {
    char prog[] = "prog";
    char verb[] = "-u";
    char dir[] = "D:\\INST";
    char* argv[] = {prog, verb, dir, nullptr};
    ICurrentApplication& app = IApplication::current().setArgs(3, argv);
    prog[0] = 'X';  // the stored values are copies
    EXPECT_EQ(app.argc(), 3);
    EXPECT_EQ(bytes(app.argv(0)), "prog");
    EXPECT_EQ(bytes(app.argv(1)), "-u");
    EXPECT_EQ(bytes(app.argv(2)), "D:\\INST");
    EXPECT_EQ(bytes(app.argv(3)), "");
    EXPECT_EQ(bytes(app.argv(-1)), "");
}

TEST(ICurrentApplication, OnlyTheCountedEntriesAreStored) {
    char a[] = "prog";
    char b[] = "extra";
    char* argv[] = {a, b};
    IApplication::current().setArgs(1, argv);
    EXPECT_EQ(IApplication::current().argc(), 1);
    EXPECT_EQ(bytes(IApplication::current().argv(1)), "");
}

TEST(ICurrentApplication, SecondSetArgsReplacesTheFirst) {
    char a[] = "one";
    char b[] = "two";
    char c[] = "three";
    char* first[] = {a, b, c};
    char* second[] = {c};
    ICurrentApplication& app = IApplication::current();
    app.setArgs(3, first);
    app.setArgs(1, second);
    EXPECT_EQ(app.argc(), 1);
    EXPECT_EQ(bytes(app.argv(0)), "three");
    EXPECT_EQ(bytes(app.argv(1)), "");
    EXPECT_EQ(bytes(app.argv(2)), "");
}

TEST(ICurrentApplication, CountOfZeroOrLessLeavesNoArguments) {
    char a[] = "prog";
    char* argv[] = {a};
    ICurrentApplication& app = IApplication::current();
    for (int count : {0, -1, INT_MIN}) {
        app.setArgs(1, argv);
        app.setArgs(count, argv);
        EXPECT_EQ(app.argc(), 0) << count;
        EXPECT_EQ(bytes(app.argv(0)), "") << count;
    }
    app.setArgs(0, nullptr);
    EXPECT_EQ(app.argc(), 0);
}

TEST(ICurrentApplication, NullEntriesAreEmptyArguments) {
    char a[] = "prog";
    char* argv[] = {a, nullptr};
    ICurrentApplication& app = IApplication::current();
    app.setArgs(2, argv);
    EXPECT_EQ(app.argc(), 2);
    EXPECT_EQ(bytes(app.argv(1)), "");
    app.setArgs(2, nullptr);
    EXPECT_EQ(app.argc(), 2);
    EXPECT_EQ(bytes(app.argv(0)), "");
}

TEST(ICurrentApplication, ArgumentsMayHoldAnyBytes) {
    char a[] = "prog";
    char b[] = "with blank \"quoted\"";
    char c[] = "";
    char* argv[] = {a, b, c};
    ICurrentApplication& app = IApplication::current().setArgs(3, argv);
    EXPECT_EQ(bytes(app.argv(1)), "with blank \"quoted\"");
    EXPECT_EQ(app.argv(2).length(), 0u);
}

TEST(ICurrentApplication, Descriptions) {
    char a[] = "prog";
    char* argv[] = {a};
    ICurrentApplication& app = IApplication::current().setArgs(1, argv);
    std::string text = bytes(app.asDebugInfo());
    EXPECT_EQ(text.rfind("ICurrentApplication(", 0), 0u) << text;
    for (const char* field : {",id=", ",torqaLib=", ",userLib=", ",argCount=1", ",argValue="})
        EXPECT_NE(text.find(field), std::string::npos) << field << " in " << text;
    EXPECT_NE(text.find(",id=" + std::to_string(app.id())), std::string::npos) << text;
}
