// zarn_host built without the browser front-end: --serve says so.
#include <iostream>

#include "web/serve.h"

namespace zarn_host {

bool serveWeb(ServeContext&, std::string& error) {
    error = "--serve: this zarn_host was built without the browser front-end";
    return false;
}

int superviseServe(const std::vector<std::string>&, const HostOptions& options) {
    return runHost(options, std::cin, std::cout, std::cerr);  // refuses --serve
}

int passwordMain(int, const char* const*, std::istream&, std::ostream&, std::ostream& err) {
    err << "zarn_host password: this zarn_host was built without the browser front-end\n";
    return 2;
}

}  // namespace zarn_host
