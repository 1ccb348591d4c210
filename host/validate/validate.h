// zarn_host validate: runs a battery of protocol tests against a panel
// library, each in a child process of its own with a time limit, and reports
// what broke, with a seed and a replayable scenario for each failure.
// Exit codes: 0 every test passed; 1 a test failed; 2 usage or load errors.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace zarn_host {
namespace validate {

struct Options {
    std::string library;
    std::string facility;  // empty: the built-in facility
    std::string panelDir;  // folder handed to the panel
    bool panelDirSet = false;
    std::string filter;  // regular expression on test names
    bool onlyFailed = false;
    bool inProcess = false;
    bool list = false;
    std::string json;            // where to write the results as JSON
    std::string reproDir = ".";  // where failing tests leave their scenario
    uint64_t seed = 1;
    int steps = 2000;          // steps of the random operator session
    int timeoutSeconds = 120;  // per test
    std::string child;         // the test a child process runs (hidden)
};

// The folder a panel gets: --panel-dir, else the facility file's, else the library's.
std::string panelFolder(const Options& options);

// The parent: lists, or runs the selected tests and reports.
int run(const Options& options, std::ostream& out, std::ostream& err);
// A child: runs one test and writes its report to out. Returns the exit code.
int runOne(const Options& options, const std::string& test, std::ostream& out);

// The command line of "zarn_host validate ..." (argv[0] is "validate").
int main(int argc, const char* const* argv);

}  // namespace validate
}  // namespace zarn_host
