// What a worker (zarn_host --serve ... --worker) tells its supervisor on its
// standard output, beside its own lines.
#pragma once

namespace zarn_host {

// What a worker's step announcements start with ("run", "done", "kept").
constexpr const char* workerLinePrefix = "@zarn-worker ";

}  // namespace zarn_host
