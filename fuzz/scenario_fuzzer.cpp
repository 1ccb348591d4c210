// Scenario text, parsed line by line and run against the K7 panel on its
// facility: every line parses or is refused with one line; every step runs,
// fails an expectation or is refused with one line naming file:line; the
// panel keeps the protocol whatever the steps ask of it.
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include "fuzz_check.h"
#include "model/facility.h"
#include "platform/panel_library.h"
#include "scenario/scenario.h"
#include "sim/sim_host.h"

namespace {

constexpr std::size_t maxSteps = 64;

struct Fixture {
    zarn_host::Facility facility;
    std::unique_ptr<zarn_host::PanelLibrary> library;
    Fixture() {
        std::string why;
        FUZZ_CHECK(zarn_host::Facility::load(K7_FACILITY, facility, why));
        library = zarn_host::PanelLibrary::open(K7_MON_LIBRARY, why);
        FUZZ_CHECK(library != nullptr);
    }
};

bool oneLine(const std::string& text) {
    return !text.empty() && text.find('\n') == text.size() - 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static Fixture fixture;
    std::string text(reinterpret_cast<const char*>(data), size);
    zarn_host::SimHost host(fixture.facility);
    std::ostringstream err;
    auto loader = [&](std::string& error) {
        if (host.load(fixture.library->entryPoint(), K7_FOLDER, "libk7_mon.so")) return true;
        error = "the panel library gave no panel";
        return false;
    };
    zarn_host::ScenarioRunner runner(host, loader, err);
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    std::size_t ran = 0;
    while (std::getline(lines, line) && ran < maxSteps) {
        ++number;
        zarn_host::ScenarioStep step;
        std::string why;
        if (!zarn_host::parseScenarioLine(line, step, why)) {
            FUZZ_CHECK(!why.empty() && why.find('\n') == std::string::npos);
            continue;
        }
        if (step.keyword.empty()) continue;
        step.file = "fuzz.scenario";
        step.line = number;
        ++ran;
        err.str("");
        auto outcome = runner.runStep(step);
        std::string report = err.str();
        std::string where = "fuzz.scenario:" + std::to_string(number) + ": ";
        if (outcome == zarn_host::ScenarioRunner::Outcome::error) {
            FUZZ_CHECK(oneLine(report));
            FUZZ_CHECK(report.rfind(where, 0) == 0);
        } else if (outcome == zarn_host::ScenarioRunner::Outcome::expectationFailed) {
            FUZZ_CHECK(report.rfind(where, 0) == 0);
        }
    }
    if (host.loaded()) host.unload();
    host.finish();
    return 0;
}
