#include <zarn/zarn_client.h>

#include <new>

#include "k7_mon.h"

ZARN_EXPORT zarn_client_callback* load_zarn_client_script(zarn_client_callback* host, const char* path) {
    // No exception may reach the host: failed allocation or start-up gives null.
    try {
        return new (std::nothrow) k7_mon(host, path);
    } catch (...) {
        return nullptr;
    }
}
