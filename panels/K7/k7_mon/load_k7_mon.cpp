#include <new>

#include "panels/K7/k7_mon/k7_mon.h"
#include "script_frame/zarn_client.h"

ZARN_EXPORT zarn_client_callback* load_zarn_client_script(zarn_client_callback* host, const char* path) {
    // No exception may reach the host: failed allocation or start-up gives null.
    try {
        return new (std::nothrow) k7_mon(host, path);
    } catch (...) {
        return nullptr;
    }
}
