// A handler's Run for unit tests: the given client, default options, a fresh context.
#pragma once

#include "zunaCmd.h"

struct ToolRun {
    explicit ToolRun(CX9ZunaIfc& client, RunOptions opts = {}) : options(std::move(opts)), run{client, context} {}
    RunOptions options;
    RunContext context{options};
    Run run;
};
