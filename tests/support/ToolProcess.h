// Runs a command-line program to its end, as a script would: arguments,
// standard input from a string, standard output and error collected, the exit
// status returned. Reads with poll() and a deadline; a program still running
// at the deadline is killed and reported as status -1.
#ifndef TESTS_SUPPORT_TOOL_PROCESS_H
#define TESTS_SUPPORT_TOOL_PROCESS_H

#include <map>
#include <string>
#include <vector>

struct ToolResult {
    int status = -1;  // exit status; 128 + signal when killed by one; -1 on timeout
    std::string out;
    std::string err;
};

// `args` excludes the program itself. `env` entries are added to (or
// replace) the test's environment; an empty value removes the variable.
ToolResult runTool(const std::string& program, const std::vector<std::string>& args,
                   const std::string& input = std::string(),
                   const std::map<std::string, std::string>& env = {}, int timeoutMs = 30000);

#endif  // TESTS_SUPPORT_TOOL_PROCESS_H
