// The validator's tests. Each drives a panel library through a SimHost and
// reports on a line channel that the parent reads from the child's output:
//   @@ session FOLDER   a new host; the steps below start from scratch
//   @@ step LINE        a scenario step, as run
//   @@ trace KIND TEXT  a line of the host's trace and its kind (out: a command or a hand-back)
//   @@ problem TEXT     what failed the test
//   @@ note TEXT        worth knowing, fails nothing
//   @@ result pass|fail
// Trace lines come as they are made, so the last commands before a crash are
// on the channel.
#pragma once

#include <string>
#include <vector>

#include "validate/validate.h"

namespace zarn_host {
namespace validate {

struct TestCase {
    const char* name;
    const char* checks;  // one line for --list
    // The child ends through exit-time checks (a sanitizer's leak check)
    // only for the tests that are about leaks.
    bool leakCheckAtExit;
};

const std::vector<TestCase>& battery();
const TestCase* findTest(const std::string& name);

}  // namespace validate
}  // namespace zarn_host
