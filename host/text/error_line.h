// Lines for standard error that several threads write (the --serve
// supervisor forwards the worker's lines on one thread and reports on
// another): each line goes out whole, never mixed with another's.
#pragma once

#include <iosfwd>
#include <string>

namespace zarn_host {

// Writes text and a newline to out as one write, under a lock every caller
// shares, and flushes.
void errorLine(std::ostream& out, const std::string& text);
// The same to standard error.
void errorLine(const std::string& text);

}  // namespace zarn_host
