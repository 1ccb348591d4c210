// zarn_host built without the browser front-end: --serve says so.
#include "host_app.h"

namespace zarn_host {

bool serveWeb(ServeContext&, std::string& error) {
    error = "--serve: this zarn_host was built without the browser front-end";
    return false;
}

}  // namespace zarn_host
