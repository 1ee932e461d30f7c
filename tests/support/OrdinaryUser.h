#pragma once
// Runs a part of a test in a child process as an ordinary user, so that file
// permissions hold there even when the tests run as root (as on CI), where
// they would otherwise be passed over. The child's failed expectations show
// in the test's output and fail the test.

#include <gtest/gtest.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

// The user the tests become when run as root.
inline constexpr uid_t kNobody = 65534;
inline constexpr gid_t kNogroup = 65534;

// Hands the folder to the ordinary user, so that the child can work in it.
inline void GiveToOrdinaryUser(const std::filesystem::path &folder)
{
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(folder.c_str(), kNobody, kNogroup), 0) << folder;
    }
}

// Runs body in a child process, as kNobody when this process is root. The
// child is ended after a time limit, so that a call that blocks fails the
// test instead of stopping the run.
inline void RunAsOrdinaryUser(const std::function<void()> &body, unsigned timeLimitSeconds = 20)
{
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool dropped = true;
        if (::geteuid() == 0) {
            dropped = ::setgroups(0, nullptr) == 0 && ::setgid(kNogroup) == 0 && ::setuid(kNobody) == 0
                      && ::geteuid() == kNobody;
        }
        if (!dropped) {
            std::fprintf(stderr, "could not become an ordinary user\n");
            std::fflush(stderr);
            ::_exit(2);
        }
        ::alarm(timeLimitSeconds);
        // Nothing may leave the child but its exit status: the test runner
        // would go on with the other tests in it.
        try {
            body();
        } catch (const std::exception &error) {
            ADD_FAILURE() << "unexpected exception: " << error.what();
        } catch (...) {
            ADD_FAILURE() << "unexpected exception";
        }
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (WIFSIGNALED(status))
        FAIL() << "the part run as an ordinary user was ended by signal " << WTERMSIG(status);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the part run as an ordinary user failed (see above)";
}

} // namespace testsupport
