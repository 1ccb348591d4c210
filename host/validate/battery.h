// The validator's tests. Each drives a panel library through a SimHost and
// reports on a line channel that the parent reads from the child's output:
//   @@ session FOLDER   a new host; the steps below start from scratch
//   @@ step LINE        a scenario step, as run
//   @@ problem TEXT     what failed the test
//   @@ note TEXT        worth knowing, fails nothing
//   @@ result pass|fail
// Trace lines of the host come in between, so the last commands before a
// crash are on the channel.
#pragma once

#include <string>
#include <vector>

#include "validate.h"

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

// Fault texts of the host, sorted by the rule they break; each rule belongs
// to one test.
enum class Rule { ownership, grammar, destruction, notification, usage };
Rule ruleOf(const std::string& fault);

}  // namespace validate
}  // namespace zarn_host
