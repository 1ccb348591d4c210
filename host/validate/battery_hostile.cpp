// The battery's hostile tests: what no well-behaved host sends (null
// records, junk and huge replies, revertives and timer ticks nobody asked for)
// changes nothing and crashes nothing.
#include <zarn/host_commands.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "text/command_text.h"
#include "validate/battery_tests.h"
#include "validate/session.h"

namespace zarn_host {
namespace validate {
namespace {

// Texts no host should send, but a broken one might.
std::vector<std::string> junkTexts() {
    std::string huge;
    huge.reserve(1 << 20);
    const std::string pattern = "'%1 \"x\" {0} %s ' , . = -2147483649 ";
    while (huge.size() < (1u << 20)) huge += pattern;
    return {"",
            " ",
            "'",
            "' '' '",
            "%1 %2 %s %n {0} $1 \\",
            "\"\"",
            "-2147483649 99999999999",
            ",,,,.==",
            "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31 32 33 34",
            huge};
}

// Destinations no router has, around a router of size destinations.
std::vector<int32_t> hostileDestinations(int32_t size) {
    constexpr int32_t least = std::numeric_limits<int32_t>::min();
    constexpr int32_t most = std::numeric_limits<int32_t>::max();
    std::vector<int32_t> list = {least, least + 1, -1, 0};
    if (size > 0 && size < most - 1) {
        list.push_back(size + 1);
        list.push_back(size + 2);
    }
    list.push_back(most);
    return list;
}

}  // namespace

void hostileInput(Probe& probe, load_zarn_client_script_fn entry) {
    {
        Session session(probe, entry, panelFolder(probe.options()));
        if (!session.load()) return;
        tour(session, 2);
        for (const char* records : {"1 null", "2 null", "3 null", "4 null", "2 button null null",
                                    "2 button null null null null", "2 button \"1\" null null null"}) {
            session.step(std::string("notify ") + records);
        }
        for (const auto& ref : operable(session.host())) {
            std::string where = scenarioQuoted(ref.panel) + " " + scenarioQuoted(ref.id);
            session.step("notify 2 button " + where);
            session.step("notify 2 button " + where + " null null");
            session.step("notify 2 button " + where + " \"select\" null");
            session.step("notify 2 button " + where + " null \"1\"");
        }
        // Revertives with texts of every length around the record's header, up to 1 MB.
        auto targets = registered(session.host(), 2);
        if (targets.empty()) targets.emplace_back(Facility::builtInFirstDevice, 1);
        std::mt19937_64 random(probe.options().seed);
        for (std::size_t length : {0, 1, 15, 16, 17, 255, 4096, 1 << 20}) {
            std::string text(length, ' ');
            for (auto& c : text) c = static_cast<char>(' ' + random() % 95);
            for (const auto& target : targets) {
                session.step("notify 1 revertive " + std::to_string(target.first) + " " +
                             std::to_string(target.second) + " " + scenarioQuoted(text));
            }
        }
        for (const auto& junk : junkTexts()) session.step("notify 3 text " + scenarioQuoted(junk));
        session.step("unload");
    }
    // Junk in every look-up reply, from start-up on.
    for (const auto& junk : junkTexts()) {
        Session session(probe, entry, panelFolder(probe.options()));
        for (const auto& word : lookups()) session.step("answer " + word + " " + scenarioQuoted(junk));
        if (!session.load()) return;
        tour(session, 2);
        session.step("unload");
    }
}

// Revertives no router sends: from the panel's own routers (those it
// registered with RR) and from devices it never asked for, to destinations
// out of range, with texts empty, junk and long.
void hostileRevertives(Probe& probe, load_zarn_client_script_fn entry) {
    Session session(probe, entry, panelFolder(probe.options()));
    if (!session.load()) return;
    tour(session, 2);
    // The panel's own routers, with their size: each once.
    std::map<int32_t, int32_t> own;
    for (const auto& target : registered(session.host(), 4096)) {
        if (const Router* router = session.host().facility().router(target.first))
            own.emplace(router->device, router->destinations);
    }
    std::vector<std::pair<int32_t, int32_t>> devices(own.begin(), own.end());
    // Devices the panel never registered: numbers no facility gives out, and
    // one of the facility's routers the panel left alone.
    for (int32_t device : {std::numeric_limits<int32_t>::min(), -1, 0, 1, std::numeric_limits<int32_t>::max()})
        if (!own.count(device)) devices.emplace_back(device, 0);
    for (const auto& router : session.host().facility().routers()) {
        if (!own.count(router.first)) {
            devices.emplace_back(router.first, router.second.destinations);
            break;
        }
    }
    std::string longText(64 * 1024, 'x');
    const std::string texts[] = {"", "1", "-2147483649", "'", longText};
    for (const auto& device : devices) {
        const std::string from = "notify 1 revertive " + std::to_string(device.first) + " ";
        for (int32_t destination : hostileDestinations(device.second))
            for (const auto& text : texts)
                session.step(from + std::to_string(destination) + " " + scenarioQuoted(text));
        // In range, for a foreign device; its last destination, for the panel's own.
        session.step(from + std::to_string(device.second > 0 ? device.second : 1) + " " + scenarioQuoted(longText));
    }
    tour(session, 1);
    session.step("unload");
}

// Timer ticks for timers the panel never started, or stopped: every id it
// named in ET (after it was destroyed and loaded again, none runs), and ids
// no panel starts.
void hostileTimers(Probe& probe, load_zarn_client_script_fn entry) {
    Session session(probe, entry, panelFolder(probe.options()));
    if (!session.load()) return;
    tour(session, 2);
    std::vector<int32_t> ids = {0,     -1,    std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                                65536, 999999};
    int32_t highest = 0;
    for (const auto& command : session.sent("ET")) {
        ParsedCommand parsed;
        std::string error;
        int32_t id = 0;
        if (!parseCommand(command, parsed, error) || parsed.args.empty() || !parseInt32(parsed.args[0].text, id))
            continue;
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
        highest = std::max(highest, id);
    }
    if (highest < std::numeric_limits<int32_t>::max()) ids.push_back(highest + 1);
    auto tick = [&](int32_t id) { session.step("notify 4 value " + std::to_string(id)); };
    for (int32_t id : ids) tick(id);
    // A fresh life: the timers of the last one are gone.
    session.step("unload");
    if (!session.load()) return;
    for (int32_t id : ids) tick(id);
    tour(session, 1);
    session.step("unload");
}

}  // namespace validate
}  // namespace zarn_host
