#include "KillPoints.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

pid_t StartVarnex(const std::string& home, const std::vector<std::string>& args, const std::vector<std::string>& env) {
    pid_t child = ::fork();
    if (child == 0) {
        std::freopen("/dev/null", "r", stdin);
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::unsetenv("VARNEX_PASSWORD");
        ::unsetenv("VARNEX_HOME");
        for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
        ExecVarnex(home, args);
    }
    return child;
}

void ExecVarnex(const std::string& home, const std::vector<std::string>& args) {
    std::vector<std::string> all = {VARNEX_CLI_PATH, "--home", home};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(VARNEX_CLI_PATH, argv.data());
    ::_exit(127);
}

pid_t StartChild(const std::function<int()>& body) {
    std::fflush(nullptr);  // nothing buffered is written twice
    pid_t child = ::fork();
    if (child == 0) ::_exit(body());
    return child;
}

int WaitChild(pid_t child, std::chrono::seconds limit) {
    int status = 0;
    const Clock::time_point until = Clock::now() + limit;
    for (;;) {
        pid_t got = ::waitpid(child, &status, WNOHANG);
        if (got == child || (got < 0 && errno != EINTR)) return status;
        if (Clock::now() >= until) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(got == 0 ? 2 : 0));
    }
    ADD_FAILURE() << "process " << child << " still running after " << limit.count() << " s: killed";
    ::kill(child, SIGKILL);
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

bool EndedBy(int status, int signal) { return WIFSIGNALED(status) && WTERMSIG(status) == signal; }

int KillAtPoints(const KillPlan& plan, const std::function<void()>& prepare, const std::function<pid_t()>& start,
                 const std::function<void(const KillPoint&)>& check) {
    prepare();
    Clock::time_point began = Clock::now();
    int status = WaitChild(start());
    auto span = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - began);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << plan.what << ": the unkilled run fails: " << status;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 0;

    std::mt19937 rng(plan.seed);
    std::uniform_int_distribution<int64_t> draw(0, span.count());
    int killed = 0;
    for (int i = 0; i < plan.count; ++i) {
        KillPoint point;
        point.index = i;
        point.delay = plan.seed ? std::chrono::microseconds(draw(rng)) : span * (i + 1) / plan.count;
        prepare();
        Clock::time_point at = Clock::now();
        pid_t child = start();
        std::this_thread::sleep_until(at + point.delay);
        ::kill(child, SIGKILL);
        point.status = WaitChild(child);
        point.killed = EndedBy(point.status, SIGKILL);
        killed += point.killed;
        EXPECT_TRUE(point.killed || (WIFEXITED(point.status) && WEXITSTATUS(point.status) == 0))
            << plan.what << ": a run the signal missed failed: " << point.status;
        SCOPED_TRACE(plan.what + ": kill point " + std::to_string(i) + " at " + std::to_string(point.delay.count()) +
                     " us" + (point.killed ? "" : " (finished)"));
        check(point);
        if (::testing::Test::HasFatalFailure()) break;
    }
    std::printf("[  kills   ] %s: %d points over %lld ms, %d killed mid-run\n", plan.what.c_str(), plan.count,
                static_cast<long long>(span.count() / 1000), killed);
    return killed;
}
