#pragma once

#include <string>
#include <vector>

// How one child process went.
struct ChildRun
{
    bool started = false;
    int exitCode = -1;     // -1 when it did not exit normally
    double seconds = 0;    // from spawning to reaping
    double cpuSeconds = 0; // user and system time
    long maxRssKiB = 0;    // its peak resident set, as the kernel counted it
    std::string output;    // its standard output, when captured
};

namespace ChildProcess {

// Runs `argv` (argv[0] is a path, not looked up in PATH) and waits for it. Standard output
// goes to /dev/null, or is collected when `captureOutput` is set; standard error is inherited.
ChildRun run(const std::vector<std::string> &argv, bool captureOutput);

} // namespace ChildProcess
