#pragma once
// Child processes for the tests: the built varnex program or a function run in a forked child,
// and the crash harness that kills such a child with SIGKILL at many points of its work and
// hands each outcome back, so that a test can check what the files look like after a crash.
//
// Kill points are delays after the child's start, spread over the duration of one unkilled run
// measured first (or drawn from a fixed seed); a point past the end of the work finds the child
// finished, which the outcome says. Nothing here depends on timing for its verdict: every point
// is checked the same way, killed or not.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"          // TempFilesBelow
#include "platform/AtomicFile.h"  // IsTempName

// Starts the built varnex program with the suite folder `home` and `args`, as a script runs
// it: no terminal, output discarded, VARNEX_PASSWORD and VARNEX_HOME unset, `env` ("VAR=value"
// each) set. Answers the child's process id.
pid_t StartVarnex(const std::string& home, const std::vector<std::string>& args,
                  const std::vector<std::string>& env = {});
// In a child process: becomes the built varnex program with `home` and `args`; never returns.
[[noreturn]] void ExecVarnex(const std::string& home, const std::vector<std::string>& args);
// Runs `body` in a forked child that ends with _exit(body()), never returning into the test.
pid_t StartChild(const std::function<int()>& body);
// Waits for the child; answers its waitpid status. A child still running after `limit` is
// killed (SIGKILL) and reaped, and the test fails there: a hung program never hangs the suite.
int WaitChild(pid_t child, std::chrono::seconds limit = std::chrono::seconds(300));
// Whether the status says the process ended by `signal`.
bool EndedBy(int status, int signal);

struct KillPoint {
    int index = 0;                      // 0 .. count - 1
    std::chrono::microseconds delay{};  // after the start of the child
    bool killed = false;                // false: the child had ended before the signal came
    int status = 0;                     // waitpid status
};

struct KillPlan {
    std::string what;  // names the work in the summary line printed at the end
    int count = 10;
    // 0: delays spread evenly over (0, measured duration]; otherwise drawn uniformly from a generator
    // seeded with this value, so a failing point can be run again.
    unsigned seed = 0;
};

// One crash test: `prepare` sets up the files before every run (the measured one included),
// `start` begins the work and answers the child, `check` asserts on the files after each kill.
// The measured run must succeed (exit status 0). Prints one summary line and answers how many
// points killed the child in the middle of its work.
int KillAtPoints(const KillPlan& plan, const std::function<void()>& prepare, const std::function<pid_t()>& start,
                 const std::function<void(const KillPoint&)>& check);
