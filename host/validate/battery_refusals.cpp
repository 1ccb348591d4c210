// The battery's refusal tests: what a real host refuses, it mostly
// swallows (a tally written to a control the panel file lacks stays blank, a
// registration past the router brings no revertive), so the validator looks
// for it. Each test drives one session and fails on the refusals of its
// kinds, each kind once with its first occurrence and how often it came.
// Notes, each in one test: the controls the panel never addresses, and the
// refusals that are part of normal operation.
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>

#include "text/command_text.h"
#include "validate/battery_tests.h"
#include "validate/session.h"

namespace zarn_host {
namespace validate {
namespace {

enum class RefusalNotes { none, unaddressedControls, countedRefusals };

void refusalsOf(Probe& probe, load_zarn_client_script_fn entry, std::initializer_list<RefusalKind> kinds,
                const char* what, RefusalNotes notes) {
    Session session(probe, entry, panelFolder(probe.options()));
    if (!session.load()) return;
    operate(session);
    if (session.host().loaded()) session.step("unload");
    session.host().finish();
    std::map<RefusalKind, std::pair<const Session::SeenRefusal*, std::size_t>> byKind;
    for (const auto& seen : session.refusals()) {
        auto& slot = byKind[seen.refusal.kind];
        if (!slot.first) slot.first = &seen;
        ++slot.second;
    }
    for (RefusalKind kind : kinds) {
        auto found = byKind.find(kind);
        if (found == byKind.end()) continue;
        const RefusalKindInfo& info = refusalKindInfo(kind);
        const uint64_t count = session.refusalCounts().byKind[static_cast<std::size_t>(kind)];
        probe.problem(std::string(what) + " (" + info.summary + "): " + found->second.first->refusal.text + " (" +
                      std::to_string(count) + (count == 1 ? " time" : " times") + ", first after the step " +
                      printable(found->second.first->step, 120) + ")");
    }
    // A panel file's control the panel never sets or reads is worth a look (a
    // tally whose id the code spells otherwise stays blank), not a fault:
    // buttons, lists and labels work without the panel.
    static const std::map<std::string, Panel> none;
    const bool aboutControls = notes == RefusalNotes::unaddressedControls;
    for (const auto& shown : aboutControls ? session.host().panels() : none) {
        std::string never;
        std::size_t count = 0;
        for (const auto& control : shown.second.controls) {
            if (control.kind == "button" || control.kind == "list" || control.kind == "label") continue;
            if (session.addressed().count(shown.first + "/" + control.id)) continue;
            if (++count <= 8) never += (never.empty() ? "" : ", ") + control.id;
        }
        if (count > 8) never += ", ... (" + std::to_string(count) + " in all)";
        if (count > 0) probe.note("panel \"" + shown.first + "\": controls the panel never set or read: " + never);
    }
    // The operator's share: refusals that are part of normal operation.
    for (const auto& entry : byKind) {
        const RefusalKindInfo& info = refusalKindInfo(entry.first);
        if (notes != RefusalNotes::countedRefusals) break;
        if (!info.fails)
            probe.note(std::string("counted, fails nothing: ") + info.summary + ": " +
                       entry.second.first->refusal.text);
    }
}

}  // namespace

void refusedControls(Probe& probe, load_zarn_client_script_fn entry) {
    refusalsOf(probe, entry, {RefusalKind::panel, RefusalKind::control, RefusalKind::property},
               "the panel named what its panel file lacks", RefusalNotes::unaddressedControls);
}

void refusedNumbers(Probe& probe, load_zarn_client_script_fn entry) {
    refusalsOf(probe, entry,
               {RefusalKind::instance, RefusalKind::router, RefusalKind::database, RefusalKind::destination,
                RefusalKind::source, RefusalKind::range, RefusalKind::timer, RefusalKind::interval},
               "the panel sent a number or name the facility does not have", RefusalNotes::countedRefusals);
}

void refusedRegistrations(Probe& probe, load_zarn_client_script_fn entry) {
    refusalsOf(probe, entry, {RefusalKind::registration}, "the panel kept registrations to its end",
               RefusalNotes::none);
}

}  // namespace validate
}  // namespace zarn_host
