#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "Demo.h"

namespace {

std::vector<DemoStep>& Steps() {
    static std::vector<DemoStep> steps;
    return steps;
}

int RunDemo(CliContext& cli, const std::vector<std::string>& args) {
    ArgParser parsed(args, {"--keep"}, {});
    if (!parsed.Ok()) return UsageError(*FindCommand("demo"), parsed.Error());
    if (!parsed.Positionals().empty())
        return UsageError(*FindCommand("demo"), MessageText(msg::cli::NoArguments, "demo"));
    std::string tmpl = (std::filesystem::temp_directory_path() / "varnex-demo-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) {
        std::fprintf(stderr, "varnex: %s: %s\n", MessageText(msg::cli::CannotMakeTempFolder).c_str(),
                     std::strerror(errno));
        return kExitFailed;
    }
    DemoContext demo{cli, tmpl, tmpl + "/suite"};
    std::printf("%s\n", MessageText(msg::cli_demo::DemoIn, demo.folder).c_str());
    auto steps = Steps();
    std::stable_sort(steps.begin(), steps.end(),
                     [](const DemoStep& a, const DemoStep& b) { return a.order < b.order; });
    bool ok = true;
    for (size_t i = 0; i < steps.size() && ok; ++i) {
        std::printf("\n[%zu/%zu] %s\n", i + 1, steps.size(), MessageText(steps[i].title).c_str());
        std::fflush(stdout);
        ok = steps[i].run(demo);
        if (!ok) std::printf("%s\n", MessageText(msg::cli_demo::StepFailed).c_str());
    }
    if (!parsed.Has("--keep")) {
        std::error_code ec;
        std::filesystem::remove_all(demo.folder, ec);
    }
    std::printf("\n%s\n", MessageText(ok ? msg::cli_demo::Finished : msg::cli_demo::Stopped).c_str());
    return ok ? kExitOk : kExitFailed;
}

}  // namespace

DemoStepRegistrar::DemoStepRegistrar(DemoStep step) { Steps().push_back(std::move(step)); }

VARNEX_COMMAND("demo", "[--keep]", msg::cli_help::Demo, RunDemo, msg::cli_help::DemoHelp);
