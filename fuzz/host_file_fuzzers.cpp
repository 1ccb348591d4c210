// The simulated host's file loaders, fed any text: the facility file
// (HOST_FUZZ_FACILITY) or the panel file (HOST_FUZZ_PANEL_FILE). Each gives a
// model or one clear error: a single line that names the file.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "model/facility.h"
#include "model/panel_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
#ifdef HOST_FUZZ_FACILITY
    zarn_host::Facility model;
    bool loaded = zarn_host::Facility::parse(text, "fuzz.json", model, error);
#else
    zarn_host::Panel model;
    bool loaded = zarn_host::Panel::parse(text, "fuzz.zarn_ui", model, error);
#endif
    if (loaded) {
        FUZZ_CHECK(error.empty());
    } else {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(error.find('\n') == std::string::npos);
        FUZZ_CHECK(error.find("fuzz.") != std::string::npos);
        FUZZ_CHECK(error.size() <= 2000);
    }
    return 0;
}
