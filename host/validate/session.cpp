#include "validate/session.h"

#include <algorithm>

#include "text/command_text.h"

namespace zarn_host {
namespace validate {

Rule ruleOf(FaultKind kind) {
    switch (kind) {
        case FaultKind::replyKept:
        case FaultKind::hostReplyHandedBack:
        case FaultKind::handedBackTwice:
        case FaultKind::foreignHandBack:
            return Rule::ownership;
        case FaultKind::missingFarewell:
        case FaultKind::afterFarewell:
            return Rule::destruction;
        case FaultKind::malformedCommand:
        case FaultKind::unknownCommand:
        case FaultKind::nullCommand:
        case FaultKind::unknownDevice:
            return Rule::grammar;
        case FaultKind::notificationReply:
            return Rule::notification;
        case FaultKind::wrongType:
        case FaultKind::commandOutsideCall:
        case FaultKind::tickStorm:
        case FaultKind::revertiveStorm:
            break;
    }
    return Rule::usage;
}

void Probe::problem(const std::string& text) {
    failed_ = true;
    out_ << "@@ problem " << printable(text) << std::endl;
}

void Probe::note(const std::string& text) {
    if (notes_.insert(text).second) out_ << "@@ note " << printable(text) << std::endl;
}

namespace {

Facility facilityOf(Probe& probe) {
    Facility facility = Facility::builtIn();
    std::string why;
    if (!probe.options().facility.empty() && !Facility::load(probe.options().facility, facility, why)) {
        probe.problem(why);
    }
    return facility;
}

}  // namespace

Session::Session(Probe& probe, load_zarn_client_script_fn entry, const std::string& folder, bool streamed)
    : probe_(probe), streamed_(streamed), host_(facilityOf(probe)), runner_(host_, loader(entry, folder), errors_) {
    if (!streamed_) return;
    probe_.out() << "@@ session " << folder << std::endl;
    // Each line flushed as it comes: after a crash the last commands are on the channel.
    host_.trace().setSink([&out = probe_.out()](int64_t time, TraceKind kind, const std::string& text) {
        if (time >= 0) out << "@@ trace " << traceKindName(kind) << " " << text << std::endl;
    });
}

bool Session::step(const std::string& line) {
    ScenarioStep step;
    std::string error;
    if (!parseScenarioLine(line, step, error)) {
        why_ = "validator step " + line + ": " + error;
        return false;
    }
    step.file = "validate";
    if (streamed_) probe_.out() << "@@ step " << line << std::endl;
    errors_.str("");
    const uint64_t refusedBefore = host_.refusalCounts().total();
    const bool ran = runner_.runStep(step) == ScenarioRunner::Outcome::ok;
    // The step's refusals are the last of the host's recent ones.
    const auto& recent = host_.recentRefusals();
    const uint64_t fresh = host_.refusalCounts().total() - refusedBefore;
    for (std::size_t i = recent.size() - std::min<std::size_t>(recent.size(), fresh); i < recent.size(); ++i) {
        if (refusals_.size() < refusalsKept) refusals_.push_back({recent[i], line});
    }
    // The host keeps the commands of the last action only: those worth
    // checking later are kept here.
    for (const auto& command : host_.recentCommands()) {
        if (command.size() < 3 || command[2] != ' ') continue;
        const std::string word = command.substr(0, 2);
        if (word == "TP" || word == "TG") {
            ParsedCommand parsed;
            std::string error;
            if (parseCommand(command, parsed, error) && parsed.args.size() >= 2) {
                const std::size_t panel = word == "TP" ? 1 : 0;
                if (parsed.args.size() > panel + 1 && addressed_.size() < distinctKept) {
                    addressed_.insert(parsed.args[panel].text + "/" + parsed.args[panel + 1].text);
                }
            }
            continue;
        }
        if (word != "PS" && word != "ET") continue;
        auto& kept = sent_[word];
        if (kept.first.size() < distinctKept && kept.second.insert(command).second) kept.first.push_back(command);
    }
    if (ran) return true;
    why_ = errors_.str();
    while (!why_.empty() && why_.back() == '\n') why_.pop_back();
    return false;
}

bool Session::load() {
    if (step("load")) return true;
    probe_.note("the entry point gave no panel; the test could not drive it");
    return false;
}

const std::vector<std::string>& Session::sent(const std::string& word) const {
    static const std::vector<std::string> none;
    auto found = sent_.find(word);
    return found == sent_.end() ? none : found->second.first;
}

std::vector<std::string> Session::newFaults(Rule rule) {
    std::vector<std::string> found;
    const auto& faults = host_.faults();
    std::size_t& seen = seen_[static_cast<std::size_t>(rule)];
    for (std::size_t i = seen; i < faults.size(); ++i) {
        if (ruleOf(faults[i].kind) == rule) found.push_back(faults[i].text);
    }
    seen = faults.size();
    return found;
}

void Session::finishAndCheck(Rule rule) {
    if (host_.loaded()) step("unload");
    host_.finish();
    for (const auto& fault : newFaults(rule)) probe_.problem(fault);
}

ScenarioRunner::Loader Session::loader(load_zarn_client_script_fn entry, const std::string& folder) {
    std::string name = shownFileName(probe_.options().library);
    return [this, entry, folder, name](std::string& error) {
        if (host_.load(entry, folder, name)) return true;
        error = "the entry point gave no panel";
        return false;
    };
}

std::vector<ControlRef> operable(SimHost& host) {
    std::vector<ControlRef> controls;
    for (const auto& entry : host.panels()) {
        for (const auto& control : entry.second.controls) {
            if (control.kind == "button" || (control.kind == "list" && !control.entries.empty())) {
                ControlRef ref{entry.first, control.id, control.kind == "list", {}};
                for (const auto& e : control.entries) ref.entries.push_back(e.text);
                controls.push_back(std::move(ref));
            }
        }
    }
    return controls;
}

std::vector<std::pair<int32_t, int32_t>> registered(SimHost& host, std::size_t limit) {
    std::vector<std::pair<int32_t, int32_t>> found;
    for (const auto& entry : host.facility().routers()) {
        const Router& router = entry.second;
        for (int32_t d = 1; d <= router.destinations && found.size() < limit; ++d) {
            if (router.registered(d)) found.emplace_back(router.device, d);
        }
    }
    return found;
}

void parentVocabulary(Session& session) {
    std::vector<std::string> words = {"instance"};
    for (const char* ask : {"_commands", "_events"}) {
        session.step(std::string("parent ") + ask);
        const auto& reply = session.runner().lastReply();
        if (!reply) continue;
        // One entry a line: "word=[value]", "word=*", or the word alone.
        std::size_t start = 0;
        while (start < reply->size() && words.size() < 64) {
            std::size_t end = reply->find('\n', start);
            if (end == std::string::npos) end = reply->size();
            std::string entry = reply->substr(start, end - start);
            std::string word = entry.substr(0, entry.find('='));
            if (!word.empty() && word.size() <= 200 && std::find(words.begin(), words.end(), word) == words.end()) {
                words.push_back(word);
            }
            start = end + 1;
        }
    }
    for (const auto& word : words) {
        session.step("parent " + scenarioQuoted(word + "=validate"));
        session.step("parent " + scenarioQuoted(word + "=a value, longer: " + std::string(300, 'v')));
        session.step("parent " + scenarioQuoted(word + "="));
        session.step("parent " + scenarioQuoted("return=" + word));
    }
    session.step("parent \"return=all\"");
}

void operate(Session& session, std::size_t listEntries) {
    auto controls = operable(session.host());
    std::string panel;
    for (const auto& list : controls) {
        if (!list.list) continue;
        for (std::size_t i = 0; i < list.entries.size() && i < listEntries; ++i) {
            if (list.panel != panel) session.step("panel " + scenarioQuoted(panel = list.panel));
            session.step("pick " + scenarioQuoted(list.id) + " " + scenarioQuoted(list.entries[i]));
            for (const auto& button : controls) {
                if (button.list || button.panel != list.panel) continue;
                session.step("press " + scenarioQuoted(button.id));
            }
        }
    }
    tour(session);
}

void tour(Session& session, std::size_t listEntries) {
    std::string panel;
    for (const auto& ref : operable(session.host())) {
        if (ref.panel != panel) session.step("panel " + scenarioQuoted(panel = ref.panel));
        if (ref.list) {
            for (std::size_t i = 0; i < ref.entries.size() && i < listEntries; ++i) {
                session.step("pick " + scenarioQuoted(ref.id) + " " + scenarioQuoted(ref.entries[i]));
            }
        } else {
            session.step("press " + scenarioQuoted(ref.id));
        }
    }
    for (const char* message : {"", "return", "get", "set.x=1"})
        session.step(std::string("parent ") + scenarioQuoted(message));
    parentVocabulary(session);
    session.step("wait 1000");
    int32_t source = 1;
    for (const auto& dest : registered(session.host(), 8)) {
        session.step("route " + std::to_string(dest.first) + " " + std::to_string(dest.second) + " " +
                     std::to_string(source++));
    }
    session.step("wait 1000");
}

}  // namespace validate
}  // namespace zarn_host
