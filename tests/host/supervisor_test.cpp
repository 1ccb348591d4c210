// The --serve supervisor's own logic, without processes or sockets: what it
// reads from its worker, what it makes of a worker's end, and what it replays.
#include "web/supervisor/supervisor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host_test_support.h"
#include "web/http/page_limits.h"
#include "web/page_server/worker_link.h"
#include "web/supervisor/crash_analysis.h"
#include "web/supervisor/worker_follower.h"

namespace {

using zarn_host::WorkerMessage;
using Kind = zarn_host::WorkerMessage::Kind;
using Clock = zarn_host::WorkerFollower::Clock;
using Steps = std::vector<std::string>;

WorkerMessage message(Kind kind, std::string step = "", int port = 0) {
    WorkerMessage m;
    m.kind = kind;
    m.step = std::move(step);
    m.port = port;
    return m;
}

TEST(worker_link, what_the_worker_writes_the_supervisor_reads_back) {
    for (const WorkerMessage& sent :
         {message(Kind::ready, "", 1), message(Kind::ready, "", 65535), message(Kind::stepRun, "press Count"),
          message(Kind::stepDone, "  press  \"a b\" "), message(Kind::stepKept, "wait 10"),
          message(Kind::stepKept, "@zarn-worker ready 5")}) {
        std::string line = zarn_host::workerLine(sent);
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        WorkerMessage read = zarn_host::readWorkerLine(line);
        EXPECT_EQ(read.kind, sent.kind) << line;
        EXPECT_EQ(read.port, sent.port) << line;
        EXPECT_EQ(read.step, sent.step) << line;
    }
}

TEST(worker_link, other_lines_pass_and_broken_messages_are_dropped) {
    struct Case {
        const char* line;
        Kind kind;
    };
    const Case cases[] = {
        {"", Kind::output},
        {"[     0 ms] == press Count", Kind::output},
        {"zarn_host: serving the panel at http://127.0.0.1:4000/", Kind::output},
        {" @zarn-worker ready 4000", Kind::output},
        {"@zarn-worker", Kind::output},  // no space: not the prefix
        {"@zarn-worker ", Kind::malformed},
        {"@zarn-worker ready", Kind::malformed},
        {"@zarn-worker ready ", Kind::malformed},
        {"@zarn-worker ready 0", Kind::malformed},
        {"@zarn-worker ready 65536", Kind::malformed},
        {"@zarn-worker ready -1", Kind::malformed},
        {"@zarn-worker ready 40x", Kind::malformed},
        {"@zarn-worker ready  4000", Kind::malformed},
        {"@zarn-worker run", Kind::malformed},
        {"@zarn-worker kept", Kind::malformed},
        {"@zarn-worker Kept x", Kind::malformed},
        {"@zarn-worker started 4000", Kind::malformed},
    };
    for (const Case& c : cases) {
        WorkerMessage read = zarn_host::readWorkerLine(c.line);
        EXPECT_EQ(read.kind, c.kind) << '"' << c.line << '"';
        if (c.kind == Kind::output) {
            EXPECT_EQ(read.step, c.line);
        }
    }
}

TEST(worker_follower, the_session_is_what_the_page_kept_after_the_worker_served) {
    zarn_host::WorkerFollower worker;
    Clock::time_point t0{};
    worker.follow(message(Kind::stepKept, "load"), t0);  // the worker's first load
    worker.follow(message(Kind::output, "noise"), t0);
    worker.follow(message(Kind::malformed), t0);
    EXPECT_FALSE(worker.serving());
    worker.follow(message(Kind::ready, "", 4000), t0);
    ASSERT_TRUE(worker.serving());
    EXPECT_EQ(worker.port(), 4000);
    worker.startReplay({"press A", "press B"});
    // Two replayed steps: one kept again, one refused (no "kept" comes).
    worker.replaying();
    worker.replaying();
    worker.replayRefused();
    worker.follow(message(Kind::stepKept, "press A"), t0);
    worker.follow(message(Kind::stepKept, "press C"), t0);
    EXPECT_EQ(worker.startup(), Steps({"load"}));
    EXPECT_EQ(worker.session(), Steps({"press A", "press B", "press C"}));

    // A new worker: its port, step and first load are forgotten, the session not.
    worker.restart();
    EXPECT_FALSE(worker.serving());
    EXPECT_TRUE(worker.startup().empty());
    EXPECT_EQ(worker.session().size(), 3u);
    worker.replayRefused();  // nothing outstanding: no underflow
    worker.follow(message(Kind::ready, "", 4001), t0);
    worker.follow(message(Kind::stepKept, "press D"), t0);
    EXPECT_EQ(worker.session().back(), "press D");
}

TEST(worker_follower, the_session_is_bounded) {
    zarn_host::WorkerFollower worker;
    worker.follow(message(Kind::ready, "", 4000), {});
    worker.startReplay(Steps(zarn_host::keptSessionSteps - 1, "show"));
    worker.follow(message(Kind::stepKept, "press last"), {});
    worker.follow(message(Kind::stepKept, "press beyond"), {});
    EXPECT_EQ(worker.session().size(), zarn_host::keptSessionSteps);
    EXPECT_EQ(worker.session().back(), "press last");
}

TEST(worker_follower, a_step_is_overdue_only_while_it_runs_past_the_limit) {
    zarn_host::WorkerFollower worker;
    const Clock::time_point t0 = Clock::time_point{} + std::chrono::hours(1);
    const std::chrono::seconds limit(10);
    EXPECT_FALSE(worker.overdue(t0 + std::chrono::hours(1), limit));  // nothing runs
    worker.follow(message(Kind::stepRun, "press Slow"), t0);
    EXPECT_EQ(worker.running(), "press Slow");
    EXPECT_FALSE(worker.overdue(t0 + limit, limit));
    EXPECT_TRUE(worker.overdue(t0 + limit + std::chrono::milliseconds(1), limit));
    worker.follow(message(Kind::stepDone, "press Slow"), t0 + limit);
    EXPECT_TRUE(worker.running().empty());
    EXPECT_FALSE(worker.overdue(t0 + std::chrono::hours(1), limit));
    // The next step's time starts when it starts.
    worker.follow(message(Kind::stepRun, "press Next"), t0 + std::chrono::seconds(30));
    EXPECT_FALSE(worker.overdue(t0 + std::chrono::seconds(35), limit));
}

TEST(crash_analysis, which_ends_are_crashes) {
    struct Case {
        const char* what;
        int exitStatus, signal;
        bool stopped, served, stopRequested, everServed;
        bool crashed;
    };
    const Case cases[] = {
        {"stopped by the supervisor", 0, 0, true, true, true, true, false},
        {"stopped, though it crashed on the way", 3, 0, true, true, true, true, false},
        {"told to end, ended well", 0, 0, false, true, true, true, false},
        {"told to end, a failed check", 1, 0, false, true, true, true, false},
        {"told to end, but it crashed", 3, 0, false, true, true, true, true},
        {"told to end, but a signal", 0, 11, false, true, true, true, true},
        {"never served: a bad option", 2, 0, false, false, false, false, false},
        {"never served: a failed scenario", 1, 0, false, false, false, false, false},
        {"never served: crashed loading", 3, 0, false, false, false, false, true},
        {"never served: killed", 0, 9, false, false, false, false, true},
        {"served, then exit 1", 1, 0, false, true, false, true, true},
        {"a later worker that never served", 2, 0, false, false, false, true, true},
        {"served and exit 0 on its own", 0, 0, false, true, false, true, true},
    };
    for (const Case& c : cases) {
        zarn_host::WorkerEnd end;
        end.exitStatus = c.exitStatus;
        end.signal = c.signal;
        end.stopped = c.stopped;
        end.served = c.served;
        EXPECT_EQ(zarn_host::workerCrashed(end, c.stopRequested, c.everServed), c.crashed) << c.what;
    }
}

TEST(crash_analysis, the_fatal_step_is_left_out_of_the_replay) {
    struct Case {
        const char* what;
        std::string running;
        bool replaying;
        std::size_t replayed;
        std::string fatal;
        Steps replay;
    };
    const Steps session = {"press A", "press B", "press C"};
    const Case cases[] = {
        {"a page step", "press X", false, 0, "press X", session},
        {"between steps", "", false, 0, "", session},
        {"the first replayed step", "press A", true, 0, "press A", {}},
        {"a later replayed step", "press C", true, 2, "press C", {"press A", "press B"}},
        {"after the replay, a new step", "press D", true, 3, "press D", session},
    };
    for (const Case& c : cases) {
        zarn_host::WorkerEnd end;
        end.signal = 11;
        end.running = c.running;
        end.session = session;
        end.replaying = c.replaying;
        end.replay = session;
        end.replayed = c.replayed;
        zarn_host::Crash crash = zarn_host::analyseCrash(end, 10);
        EXPECT_EQ(crash.fatal, c.fatal) << c.what;
        EXPECT_EQ(crash.replay, c.replay) << c.what;
    }
}

TEST(crash_analysis, the_report_is_read_from_the_end_of_standard_error) {
    zarn_host::WorkerEnd end;
    end.signal = 11;
    end.errorTail = {"zarn_host: crash: SIGSEGV (signal 11)",
                     "zarn_host: crash: the last 2 of 2 commands the panel sent, oldest first:",
                     "zarn_host: crash step: <browser>:1: press A",
                     "zarn_host: crash step: <browser>:3: press Fault",
                     "zarn_host: crash command: ET 9 1000",
                     "zarn_host: crash command: TP 'x' '1' 'C'",
                     "==1==ERROR: AddressSanitizer"};
    zarn_host::Crash crash = zarn_host::analyseCrash(end, 10);
    EXPECT_EQ(crash.what, "SIGSEGV (signal 11)");  // the first crash line, not the commands' heading
    EXPECT_EQ(crash.where, "<browser>:3: press Fault");
    EXPECT_EQ(crash.commands, Steps({"ET 9 1000", "TP 'x' '1' 'C'"}));
    EXPECT_EQ(crash.stepShown(), "<browser>:3: press Fault");
    EXPECT_EQ(crash.stderrTail.substr(crash.stderrTail.size() - 29), "==1==ERROR: AddressSanitizer\n");

    end.hung = true;  // a hang is named as one, whatever the report of the interrupt says
    EXPECT_EQ(zarn_host::analyseCrash(end, 7).what, "the step ran for more than 7 s");

    zarn_host::WorkerEnd quiet;
    quiet.exitStatus = 9;
    EXPECT_EQ(zarn_host::analyseCrash(quiet, 10).what, "exit status 9");
    EXPECT_EQ(zarn_host::analyseCrash(quiet, 10).stepShown(), "(between steps)");
    quiet.signal = 6;
    EXPECT_EQ(zarn_host::analyseCrash(quiet, 10).what.rfind("signal 6 (", 0), 0u);
}

TEST(crash_analysis, the_supervisor_gives_up_after_crashes_in_a_row_at_one_step) {
    zarn_host::CrashCount count;
    zarn_host::Crash atFault;
    atFault.fatal = "press Fault";
    atFault.replay = {"press A"};
    zarn_host::Crash laterSession = atFault;
    laterSession.replay.push_back("press B");
    EXPECT_EQ(count.count(atFault), 1);
    EXPECT_EQ(count.count(atFault), 2);
    EXPECT_FALSE(count.givingUp());
    EXPECT_EQ(count.count(laterSession), 1);  // the same step after more steps: a new run
    EXPECT_EQ(count.count(laterSession), 2);
    EXPECT_EQ(count.count(laterSession), zarn_host::maxCrashesAtOneStep);
    EXPECT_TRUE(count.givingUp());
    nlohmann::json fault = zarn_host::faultReport(laterSession, count.crashes(), "/tmp/s.scenario");
    EXPECT_EQ(fault["phase"], "waiting");
    EXPECT_EQ(fault["crashes"], 3);
    EXPECT_NE(fault["message"].get<std::string>().find("3 times in a row: waiting for a rebuilt library"),
              std::string::npos);
    count.reset();  // a rebuilt library
    EXPECT_FALSE(count.givingUp());
    EXPECT_EQ(count.count(laterSession), 1);
    EXPECT_EQ(zarn_host::faultReport(laterSession, 1, "")["phase"], "crashed");
}

TEST(crash_analysis, the_scenario_replays_the_session_up_to_the_fatal_step) {
    zarn_host_test::TempFile scenario("before.scenario", "# set-up\noffline DB\n\npress A\n");
    zarn_host::HostOptions options;
    options.crashDir = std::filesystem::path(scenario.path()).parent_path().string();
    options.scenario = scenario.path();
    options.offline = {"Rack 2"};
    zarn_host::Crash crash;
    crash.what = "SIGSEGV (signal 11)";
    crash.replay = {"press B", "set Src value 3"};
    crash.fatal = "press Fault";
    std::string path = zarn_host::writeCrashScenario(options, {"load"}, crash);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(std::filesystem::path(path).parent_path(), std::filesystem::path(options.crashDir));
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    const std::string written = text.str();
    std::string steps = written.substr(written.find("# facility:"));
    steps = steps.substr(steps.find('\n') + 1);
    EXPECT_EQ(steps, "offline \"Rack 2\"\noffline DB\npress A\nload\npress B\nset Src value 3\npress Fault\n");
    EXPECT_NE(written.find("crashed the panel (SIGSEGV (signal 11))"), std::string::npos);
    // Two crashes in one second get two files.
    EXPECT_NE(zarn_host::writeCrashScenario(options, {}, crash), path);
}

TEST(supervisor, the_worker_gets_the_options_but_the_served_address) {
    struct Case {
        Steps arguments;
        Steps worker;
    };
    const Steps tail = {"--serve", "127.0.0.1:0", "--worker"};
    auto with = [&](Steps head) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    const Case cases[] = {
        {{"zarn_host", "--panel", "k7.so", "--serve", "8080"}, with({"--panel", "k7.so"})},
        // The bridges run in the worker: they need --allow-remote there.
        {{"zarn_host", "--serve=0.0.0.0:80", "--allow-remote", "--quiet"}, with({"--allow-remote", "--quiet"})},
        {{"zarn_host", "--audit", "a.jsonl", "--serve", "80"}, with({"--audit", "a.jsonl"})},
        {{"zarn_host", "--quiet", "--serve"}, with({"--quiet"})},
        {{"zarn_host", "--scenario", "--serve-me.scenario"}, with({"--scenario", "--serve-me.scenario"})},
        {{"zarn_host"}, tail},
        {{}, tail},
    };
    for (const Case& c : cases) EXPECT_EQ(zarn_host::workerArguments(c.arguments), c.worker);
}

}  // namespace
