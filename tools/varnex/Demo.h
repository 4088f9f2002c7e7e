#pragma once
// The guided tour of `varnex demo`: each capability adds a step of its own file, registered
// with VARNEX_DEMO_STEP(order, title, function). Steps run in order in one temporary folder.

#include <functional>
#include <string>

#include "Cli.h"
#include "CliDemoMessages.h"

struct DemoContext {
    CliContext& cli;
    std::string folder;  // a fresh temporary folder, removed after the tour
    std::string home;    // a fresh suite folder inside it
};

struct DemoStep {
    int order;
    MessageDef title;
    // Returns false when the step failed; the tour stops there.
    std::function<bool(DemoContext&)> run;
};

struct DemoStepRegistrar {
    explicit DemoStepRegistrar(DemoStep step);
};

#define VARNEX_DEMO_STEP(...) static const DemoStepRegistrar VARNEX_CONCAT(kDemoStep, __LINE__)(DemoStep{__VA_ARGS__})
