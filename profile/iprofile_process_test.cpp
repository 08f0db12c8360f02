// Several processes on one store: writers at the same time, and a writer
// killed in the middle of its work. The children are forked before anything
// in them touches the registry, and each opens the store for itself.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "profile/profile_test_support.hpp"

namespace {

using namespace profiletest;

// Runs body in a forked child that opens its own store in directory; the
// child's exit status is 0 when body returns and 1 when it raises.
pid_t forkWorker(const std::string& directory, const std::function<void()>& body) {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid != 0) return pid;
    int status = 0;
    try {
        auto store = vrk::reg::makeScratchRegistry(directory);
        vrk::reg::setRegistry(store.get());
        body();
        vrk::reg::setRegistry(nullptr);
    } catch (const IException& e) {
        std::fprintf(stderr, "worker %d: %s: %s\n", static_cast<int>(::getpid()), e.name(),
                     e.textWithIndex(0) ? e.textWithIndex(0) : "");
        status = 1;
    } catch (...) {
        status = 1;
    }
    std::fflush(nullptr);
    ::_exit(status);
}

int exitStatusOf(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string keyName(int writer, int index) {
    return "w" + std::to_string(writer) + "k" + std::to_string(index);
}

TEST(ProfileProcessTest, TwoWritersAtOnceLoseNothing) {
    TempDir dir;
    const int kWriters = 2;
    const int kKeys = 40;
    std::vector<pid_t> pids;
    for (int w = 0; w < kWriters; ++w) {
        pids.push_back(forkWorker(dir.path(), [w] {
            IProfile profile("SV.INI");
            const std::string churn = "c" + std::to_string(w);
            for (int i = 0; i < kKeys; ++i) {
                const std::string key = keyName(w, i);
                profile.addOrReplaceElementWithKey(key.c_str(), IString("first"), "Shared");
                profile.addOrReplaceElementWithKey(key.c_str(), IString(key.c_str()), "Shared");
                profile.addOrReplaceElementWithKey(("n" + key).c_str(), static_cast<long>(i),
                                                   "Shared");
                // An application that both writers empty and fill again.
                profile.addOrReplaceElementWithKey(churn.c_str(), static_cast<long>(i), "Churn");
                profile.deleteElementWithKey(churn.c_str(), "Churn");
            }
        }));
    }
    for (pid_t pid : pids) EXPECT_EQ(exitStatusOf(pid), 0);

    auto store = vrk::reg::makeScratchRegistry(dir.path());
    vrk::reg::setRegistry(store.get());
    {
        IProfile profile("SV.INI");
        EXPECT_EQ(profile.numberOfKeys("Shared"), static_cast<unsigned long>(2 * kWriters * kKeys));
        for (int w = 0; w < kWriters; ++w) {
            for (int i = 0; i < kKeys; ++i) {
                const std::string key = keyName(w, i);
                SCOPED_TRACE(key);
                EXPECT_EQ(stringOf(profile.elementWithKey(key.c_str(), "Shared")), key);
                EXPECT_EQ(profile.integerWithKey(("n" + key).c_str(), "Shared"), i);
            }
        }
        EXPECT_EQ(profile.numberOfKeys("Churn"), 0u);
    }
    vrk::reg::setRegistry(nullptr);
}

// Both writers replace the same keys over and over: each replace is one
// change of the store, so no writer ever meets the other's half-done replace,
// and every key ends holding one writer's whole value.
TEST(ProfileProcessTest, TwoWritersReplacingTheSameKeysNeverFail) {
    TempDir dir;
    const int kWriters = 2;
    const int kRounds = 60;
    const int kKeys = 4;
    std::vector<pid_t> pids;
    for (int w = 0; w < kWriters; ++w) {
        pids.push_back(forkWorker(dir.path(), [w] {
            IProfile profile("SV.INI");
            for (int round = 0; round < kRounds; ++round) {
                for (int k = 0; k < kKeys; ++k) {
                    const std::string key = "k" + std::to_string(k);
                    // A list with line feeds (binary) and a plain text in turn.
                    const std::string value = "writer " + std::to_string(w) +
                                              (round % 2 ? "\nround\n" : " round ") +
                                              std::to_string(round);
                    profile.addOrReplaceElementWithKey(key.c_str(), IString(value.c_str()), "Same");
                }
            }
        }));
    }
    for (pid_t pid : pids) EXPECT_EQ(exitStatusOf(pid), 0);

    auto store = vrk::reg::makeScratchRegistry(dir.path());
    vrk::reg::setRegistry(store.get());
    {
        IProfile profile("SV.INI");
        EXPECT_EQ(profile.numberOfKeys("Same"), static_cast<unsigned long>(kKeys));
        for (int k = 0; k < kKeys; ++k) {
            const std::string value =
                stringOf(profile.elementWithKey(("k" + std::to_string(k)).c_str(), "Same"));
            EXPECT_EQ(value.rfind("writer ", 0), 0u) << value;
            EXPECT_NE(value.find(std::to_string(kRounds - 1)), std::string::npos) << value;
        }
    }
    vrk::reg::setRegistry(nullptr);
}

// The element the killed writer stores under key number i.
IString crashElement(std::uint32_t i) {
    if (i % 3 == 0) return IString(("value " + std::to_string(i)).c_str());
    std::string bytes(20000, '\0');
    for (std::size_t j = 0; j < bytes.size(); ++j) bytes[j] = static_cast<char>(i + j * 31);
    return bytesOf(bytes);
}

TEST(ProfileProcessTest, KilledWriterLeavesEveryCompletedCall) {
    TempDir dir;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pid_t pid = forkWorker(dir.path(), [&] {
        ::close(fds[0]);
        IProfile profile("SV.INI");
        for (std::uint32_t i = 0;; ++i) {
            const std::string key = "k" + std::to_string(i);
            if (i % 3 == 1)
                profile.addOrReplaceElementWithKey(key.c_str(), static_cast<long>(i) * -7, "Crash");
            else
                profile.addOrReplaceElementWithKey(key.c_str(), crashElement(i), "Crash");
            if (::write(fds[1], &i, sizeof i) != static_cast<ssize_t>(sizeof i)) return;
        }
    });
    ::close(fds[1]);
    std::uint32_t completed = 0;  // calls reported complete: keys 0 .. completed-1
    std::uint32_t reported = 0;
    bool killed = false;
    while (::read(fds[0], &reported, sizeof reported) == static_cast<ssize_t>(sizeof reported)) {
        EXPECT_EQ(reported, completed);
        completed = reported + 1;
        if (!killed && completed >= 40) {
            ::kill(pid, SIGKILL);
            killed = true;
        }
    }
    ::close(fds[0]);
    EXPECT_EQ(exitStatusOf(pid), 128 + SIGKILL);
    ASSERT_GE(completed, 40u);

    QuietReporter quiet;
    IException::setReporter(&quiet);
    auto store = vrk::reg::makeScratchRegistry(dir.path());
    vrk::reg::setRegistry(store.get());
    {
        IProfile profile("SV.INI");
        for (std::uint32_t i = 0; i < completed; ++i) {
            const std::string key = "k" + std::to_string(i);
            SCOPED_TRACE(key);
            if (i % 3 == 1)
                EXPECT_EQ(profile.integerWithKey(key.c_str(), "Crash"), static_cast<long>(i) * -7);
            else
                EXPECT_EQ(stringOf(profile.elementWithKey(key.c_str(), "Crash")),
                          stringOf(crashElement(i)));
        }
        // At most the call that was running is unfinished: reading it either
        // works or reports what is missing.
        IProfile::Cursor keys(profile, "Crash");
        unsigned long listed = 0;
        for (keys.moveToFirst(); keys.isValid(); keys.moveToNext()) {
            ++listed;
            try {
                profile.elementWithKey(profile.applicationOrKeyAt(keys), "Crash");
            } catch (const IAccessError&) {}
        }
        EXPECT_GE(listed, completed);
        EXPECT_LE(listed, completed + 1);
        // The store takes new writes.
        profile.addOrReplaceElementWithKey("after", IString("ok"), "Crash");
        EXPECT_EQ(stringOf(profile.elementWithKey("after", "Crash")), "ok");
    }
    vrk::reg::setRegistry(nullptr);
    IException::setReporter(nullptr);
}

}  // namespace
