#include "validate/battery.h"

#include <zarn/host_commands.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <ostream>
#include <random>
#include <set>

#include "model/panel_model.h"
#include "platform/panel_library.h"
#include "text/command_text.h"
#include "validate/battery_tests.h"
#include "validate/session.h"
#include "validate/validate_process.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZARN_HEAP_UNMEASURED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZARN_HEAP_UNMEASURED 1
#endif
#endif

namespace zarn_host {
namespace validate {

std::vector<std::string> lookups() {
    std::vector<std::string> words;
    for (const auto& command : zarn::hostCommands) {
        if (command.replyHandedBack()) words.emplace_back(command.word);
    }
    return words;
}

namespace {

// --- the tests ---

void entryReturnsPanel(Probe& probe, load_zarn_client_script_fn entry) {
    Session session(probe, entry, panelFolder(probe.options()));
    if (!session.step("load")) probe.problem("the entry point gave no panel");
}

void entryNullLookups(Probe& probe, load_zarn_client_script_fn entry) {
    Session session(probe, entry, panelFolder(probe.options()));
    for (const auto& word : lookups()) session.step("answer " + word + " null");
    if (!session.step("load")) {
        probe.problem("with every look-up answered null, the entry point gave no panel");
        return;
    }
    tour(session);
}

void entryFolders(Probe& probe, load_zarn_client_script_fn entry) {
    std::string longFolder;
    while (longFolder.size() < 4096) longFolder += "/a_rather_long_folder_name";
    for (const std::string& folder :
         {std::string(), longFolder, std::string("/tmp/B\xC3\xBChne/\xE3\x82\xB9\xE3\x82\xBF")}) {
        Session session(probe, entry, folder);
        if (!session.step("load")) {
            probe.problem("with the folder \"" + printable(folder, 60) + "\" (" + std::to_string(folder.size()) +
                          " bytes), the entry point gave no panel");
            return;
        }
        session.step("unload");
    }
}

void destruction(Probe& probe, load_zarn_client_script_fn entry) {
    Session session(probe, entry, panelFolder(probe.options()));
    if (!session.load()) return;
    tour(session);
    session.finishAndCheck(Rule::destruction);
    const auto& log = session.host().recentCommands();
    if (log.empty() || log.back() != "AS") probe.problem("the last command was not \"AS\"");
}

void replyOwnership(Probe& probe, load_zarn_client_script_fn entry) {
    Session session(probe, entry, panelFolder(probe.options()));
    if (!session.load()) return;
    tour(session);
    session.finishAndCheck(Rule::ownership);
}

void commandGrammar(Probe& probe, load_zarn_client_script_fn entry) {
    Session session(probe, entry, panelFolder(probe.options()));
    if (!session.load()) return;
    tour(session);
    session.finishAndCheck(Rule::grammar);
}

std::string panelPicture(SimHost& host) {
    std::string picture;
    for (const auto& entry : host.panels()) {
        for (const auto& control : entry.second.controls) {
            picture += entry.first + "/" + control.id + ":" + control.allProperties() + "\n";
        }
    }
    return picture;
}

void ignoredNotifications(Probe& probe, load_zarn_client_script_fn entry) {
    Session session(probe, entry, panelFolder(probe.options()));
    if (!session.load()) return;
    session.step("wait 1000");
    std::string before = panelPicture(session.host());
    const char* const notifications[] = {"0 null",    "0 value 1",  "6 null",    "6 foreign",
                                         "7 value 0", "7 value -1", "8 null",    "8 value 1",
                                         "-1 null",   "-1 foreign", "5 foreign", "2147483647 null"};
    for (const char* notification : notifications) {
        const uint64_t sent = session.host().commandCount();
        session.step(std::string("notify ") + notification);
        if (session.host().commandCount() != sent) {
            const auto& log = session.host().recentCommands();
            probe.problem(std::string("notification type ") + notification + " made the panel send \"" +
                          (log.empty() ? std::string() : printable(log.back())) + "\"");
        }
    }
    if (panelPicture(session.host()) != before)
        probe.problem("notifications to be ignored changed the panel's controls");
    for (const auto& fault : session.newFaults(Rule::notification)) probe.problem(fault);
}

// Every panel file the panel shows (PS) opens and holds controls: a panel
// file left behind, renamed or emptied leaves the operator a blank panel.
// Where the panel was told to look, and why there: a panel builds its
// file's path from the folder it is given, which is easily the wrong one.
std::string panelFolderHint(const Options& options) {
    std::string folder = panelFolder(options);
    std::string why = options.panelDirSet ? "given by --panel-dir"
                      : !options.facility.empty()
                          ? "the facility file's folder"
                          : "the library's folder, as neither --panel-dir nor --facility was given";
    // A relative folder (a facility file named without one gives "") means
    // the current folder, which the report names.
    std::string where;
    std::error_code error;
    if (std::filesystem::u8path(folder).is_relative()) {
        const std::string current = std::filesystem::current_path(error).u8string();
        if (!error) {
            where = folder.empty() ? " (the current folder, " + printable(current, 200) + ")"
                                   : " (relative to the current folder, " + printable(current, 200) + ")";
        }
    }
    return " (the panel was given the folder \"" + printable(folder, 200) + "\"" + where + ", " + why +
           "; --panel-dir DIR, or --facility FILE for that file's folder, points it elsewhere)";
}

void panelFiles(Probe& probe, load_zarn_client_script_fn entry) {
    Session session(probe, entry, panelFolder(probe.options()));
    if (!session.load()) return;
    tour(session, 2);
    std::set<std::string> checked;
    for (const auto& command : session.sent("PS")) {
        ParsedCommand parsed;
        std::string error;
        if (!parseCommand(command, parsed, error) || parsed.args.size() < 2) continue;
        const std::string& file = parsed.args[1].text;
        if (!checked.insert(file).second) continue;
        Panel panel;
        if (!Panel::load(file, panel, error)) {
            probe.problem("PS names a panel file that cannot be shown: " + error + panelFolderHint(probe.options()));
        } else if (panel.controls.empty()) {
            probe.problem("PS names the panel file " + printable(file, 200) + ", which holds no controls");
        }
        for (const auto& warning : panel.warnings) probe.note("panel file: " + warning);
    }
    if (checked.empty()) probe.note("the panel showed no panel file (no PS)");
    session.step("unload");
}

void randomSessions(Probe& probe, load_zarn_client_script_fn entry) {
    const Options& options = probe.options();
    probe.out() << "@@ seed " << options.seed << std::endl;
    std::mt19937_64 random(options.seed);
    auto below = [&](std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(random() % n); };
    Session session(probe, entry, panelFolder(options));
    if (!session.load()) return;
    const char* const parents[] = {"", "return", "get", "set.a=1", "a.b.c=d", "=", "....", "x=y=z"};
    for (int i = 0; i < options.steps; ++i) {
        SimHost& host = session.host();
        std::size_t roll = below(100);
        auto controls = operable(host);
        if (roll < 45 && !controls.empty()) {
            const ControlRef& ref = controls[below(controls.size())];
            session.step("panel " + scenarioQuoted(ref.panel));
            if (ref.list) {
                session.step("pick " + scenarioQuoted(ref.id) + " " +
                             scenarioQuoted(ref.entries[below(ref.entries.size())]));
            } else {
                session.step("press " + scenarioQuoted(ref.id));
            }
        } else if (roll < 60) {
            auto targets = registered(host, 256);
            if (targets.empty()) continue;
            const auto& target = targets[below(targets.size())];
            const Router* router = host.facility().router(target.first);
            session.step("route " + std::to_string(target.first) + " " + std::to_string(target.second) + " " +
                         std::to_string(1 + below(static_cast<std::size_t>(router->sources))));
        } else if (roll < 78) {
            session.step("wait " + std::to_string(1 + below(400)));
        } else if (roll < 88) {
            session.step("parent " + scenarioQuoted(parents[below(sizeof parents / sizeof parents[0])]));
        } else if (roll < 95) {
            const auto& instances = host.facility().instances();
            if (instances.empty()) continue;
            const DeviceInstance& inst = instances[below(instances.size())];
            bool online = host.facility().online(inst.device);
            session.step(std::string(online ? "offline " : "online ") + std::to_string(inst.device));
        } else {
            session.step("unload");
            if (!session.load()) return;
        }
        // The rules are checked after every step; this test owns the host's
        // usage rules, the others are noted here and fail their own tests.
        for (const auto& fault : session.newFaults(Rule::usage)) {
            probe.problem("step " + std::to_string(i + 1) + ": " + fault);
            return;
        }
        for (Rule rule : {Rule::ownership, Rule::grammar, Rule::destruction, Rule::notification}) {
            for (const auto& fault : session.newFaults(rule)) probe.note("also seen: " + fault);
        }
    }
    session.finishAndCheck(Rule::usage);
}

void lifetime(Probe& probe, load_zarn_client_script_fn) {
    const Options& options = probe.options();
    constexpr int cycles = 1000;
    constexpr int warmUp = 100;
    ProcessUsage before, after;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        std::string why;
        auto library = PanelLibrary::open(options.library, why);
        if (!library) {
            probe.problem("cycle " + std::to_string(cycle + 1) + ": " + why);
            return;
        }
        {
            // Only the first life goes to the channel: it is the one to replay.
            Session session(probe, library->entryPoint(), panelFolder(options), cycle == 0);
            if (!session.load()) return;
            auto controls = operable(session.host());
            for (std::size_t i = 0; i < controls.size() && i < 4; ++i) {
                const ControlRef& ref = controls[i];
                session.step("panel " + scenarioQuoted(ref.panel));
                session.step(ref.list ? "pick " + scenarioQuoted(ref.id) + " " + scenarioQuoted(ref.entries[0])
                                      : "press " + scenarioQuoted(ref.id));
            }
            session.step("parent \"return\"");
            // The panel's own parent words too: a leak on a real message is
            // one of every life the parent talks to the panel.
            parentVocabulary(session);
            session.step("wait 500");
            session.step("unload");
            session.host().finish();
        }
        library.reset();
        if (cycle == warmUp - 1) before = measureUsage();
    }
    after = measureUsage();
    if (before.handles >= 0 && after.handles != before.handles) {
        probe.problem("open handles went from " + std::to_string(before.handles) + " to " +
                      std::to_string(after.handles) + " over " + std::to_string(cycles - warmUp) + " lives");
    }
#ifndef ZARN_HEAP_UNMEASURED
    constexpr long long heapSlack = 64 * 1024;
    if (before.heapBytes >= 0 && after.heapBytes - before.heapBytes > heapSlack) {
        long long growth = after.heapBytes - before.heapBytes;
        probe.problem("heap in use grew by " + std::to_string(growth) + " bytes over " +
                      std::to_string(cycles - warmUp) + " lives (about " + std::to_string(growth / (cycles - warmUp)) +
                      " bytes a life)");
    }
#endif
    probe.out() << "@@ note heap " << before.heapBytes << " -> " << after.heapBytes << " bytes, handles "
                << before.handles << " -> " << after.handles << std::endl;
}

using TestFunction = void (*)(Probe&, load_zarn_client_script_fn);

struct Entry {
    TestCase test;
    TestFunction run;
};

const std::vector<Entry>& entries() {
    static const std::vector<Entry> list = {
        {{"entry.returns_panel", "the entry point gives a panel for a host", false}, entryReturnsPanel},
        {{"entry.null_lookups", "start-up and a tour with every look-up answered null", false}, entryNullLookups},
        {{"entry.folders", "folders empty, 4 KB long and non-ASCII", false}, entryFolders},
        {{"destruction.farewell", "\"AS\" is the last command and comes once", false}, destruction},
        {{"replies.ownership", "SD, XI, RN and TG replies handed back once with type 5, no other pointer", false},
         replyOwnership},
        {{"commands.grammar", "known two-letter words, well-formed arguments, device numbers never cut", false},
         commandGrammar},
        {{"notifications.ignored", "types 0, 5 (foreign pointer), 6, 7, 8 and -1 change nothing", false},
         ignoredNotifications},
        {{"hostile.input", "null records and texts, junk and 1 MB replies, revertive texts of any length", false},
         hostileInput},
        {{"hostile.revertives",
          "revertives from the panel's own routers and foreign devices: destinations out of range, odd texts", false},
         hostileRevertives},
        {{"hostile.timers", "ticks of timers never started or already stopped", false}, hostileTimers},
        {{"panel.file", "every panel file shown (PS) opens and holds controls", false}, panelFiles},
        {{"refusals.controls", "every panel, control and property the panel names is in its panel file", false},
         refusedControls},
        {{"refusals.numbers", "every instance, router, database, destination, source and timer the panel names exists",
          false},
         refusedNumbers},
        {{"refusals.registrations", "every registration (RR) is released (RU) before the panel ends", false},
         refusedRegistrations},
        {{"random.sessions", "a seeded operator session (--seed, --steps), rules checked after every step", false},
         randomSessions},
        {{"lifetime.cycles", "1,000 load/drive/unload lives with memory and open handles flat", true}, lifetime},
    };
    return list;
}

}  // namespace

const std::vector<TestCase>& battery() {
    static const std::vector<TestCase> tests = [] {
        std::vector<TestCase> list;
        for (const auto& entry : entries()) list.push_back(entry.test);
        return list;
    }();
    return tests;
}

const TestCase* findTest(const std::string& name) {
    for (const auto& test : battery()) {
        if (name == test.name) return &test;
    }
    return nullptr;
}

int runOne(const Options& options, const std::string& name, std::ostream& out) {
    for (const auto& entry : entries()) {
        if (name != entry.test.name) continue;
        Probe probe(options, out);
        std::string why;
        auto library = PanelLibrary::open(options.library, why);
        if (!library) {
            probe.problem(why);
        } else {
            entry.run(probe, library->entryPoint());
        }
        out << "@@ result " << (probe.failed() ? "fail" : "pass") << std::endl;
        return probe.failed() ? 1 : 0;
    }
    out << "@@ problem no test " << printable(name) << "\n@@ result fail" << std::endl;
    return 1;
}

}  // namespace validate
}  // namespace zarn_host
