#include "text/error_line.h"

#include <iostream>
#include <mutex>

namespace zarn_host {

void errorLine(std::ostream& out, const std::string& text) {
    static std::mutex mutex;
    const std::string line = text + "\n";
    std::lock_guard<std::mutex> lock(mutex);
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out.flush();
}

void errorLine(const std::string& text) {
    errorLine(std::cerr, text);
}

}  // namespace zarn_host
