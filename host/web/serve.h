// zarn_host --serve, as the program's command line starts it. web/ implements
// both: page_server/serve_web.cpp and supervisor/worker_loop.cpp, or
// serve_unavailable.cpp where the browser front-end is not built.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "run/host_app.h"

namespace zarn_host {

// zarn_host --serve in the worker: serves context's panel at options.serve
// and returns when told to stop (SIGINT, SIGTERM, or the supervisor closing
// its standard input). runHost calls it as its ServeFunction; false with a
// one-line error when it cannot start.
bool serveWeb(ServeContext& context, std::string& error);

// zarn_host --serve ...: the supervisor runs this program again as its worker
// with arguments and --worker; returns the exit status. Where the browser
// front-end is not built, runHost's refusal.
int superviseServe(const std::vector<std::string>& arguments, const HostOptions& options);

// zarn_host password FILE: writes FILE for --password-file from the password
// on in's first line; the exit status. argv[0] is "password".
int passwordMain(int argc, const char* const* argv, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace zarn_host
