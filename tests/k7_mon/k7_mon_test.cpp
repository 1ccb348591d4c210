// Over 400 lines: one table per operator action, kept together so the
// panel's whole command trace can be read in one place.
// The K7 panel as a host sees it: libk7_mon.so loaded by path, driven with
// real host records through the one callback, checked by its command traces.
#include <gtest/gtest.h>
#include <zarn/zarn_client.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/host_events.h"
#include "support/panel_entry_point.h"
#include "support/platform_debug_output.h"
#include "support/recording_host.h"

namespace {

using Trace = std::vector<std::string>;
using Reply = std::optional<std::string>;

load_zarn_client_script_fn entryPoint() {
    static const load_zarn_client_script_fn entry = panelEntryPoint(K7_MON_LIBRARY);
    return entry;
}

// What the host's databases hold. A device of nullopt answers its look-up with
// null; entries[n] is the destination package entry of monitor n.
struct Facility {
    std::optional<int> names = 7, xpts = 8, sdi = 3, audio = 4;
    std::array<Reply, 6> entries{"", "11,21", "12,22", "13,23", "14,24", "15,25"};
};
constexpr int destPackages[6] = {0, 361, 388, 389, 387, 390};
const char* const instances[4] = {"K7 Package Names", "K7 Package XPTS", "K7 SDI Router", "K7 Audio Router"};

std::string n(int value) {
    return std::to_string(value);
}
std::string lookup(int k) {
    return std::string("SD '") + instances[k] + "'";
}
std::string readEntry(const Facility& f, int database, int index) {
    return "RN " + n(f.xpts.value_or(0)) + " " + n(database) + " " + n(index);
}
std::array<std::optional<int>, 4> devices(const Facility& f) {
    return {f.names, f.xpts, f.sdi, f.audio};
}

// The exact start-up trace, given the destinations the entries should yield.
Trace startUpTrace(const Facility& f, const std::array<int, 6>& video, const std::array<int, 6>& audio,
                   const std::string& panelFile = "k7_mon.zarn_ui") {
    Trace t;
    for (int k = 0; k < 4; ++k) {
        t.push_back(lookup(k));
        if (devices(f)[k]) t.push_back("release " + lookup(k));
    }
    for (int m = 1; m <= 5; ++m) {
        t.push_back(readEntry(f, 1, destPackages[m]));
        t.push_back(f.entries[m] ? "release " + t.back() : "release null");
    }
    t.push_back("PS '1' '" + panelFile + "'");
    t.push_back("TP '=/images/SmallTick.png' '1' 'VidLevel'");
    t.push_back("TP '=/images/SmallTick.png' '1' 'AudLevel'");
    t.push_back("TP 'statesheet=RZ_Tally_Red' '1' 'ID_1'");
    for (int m = 2; m <= 5; ++m) t.push_back("TP 'statesheet=RZ_Tally_Black' '1' 'ID_" + n(m) + "'");
    const std::string sdi = n(f.sdi.value_or(0)), aud = n(f.audio.value_or(0));
    for (const auto& [device, dest] : {std::make_pair(sdi, video), std::make_pair(aud, audio)}) {
        t.push_back("RR " + device + " " + n(dest[1]) + " " + n(dest[1]));
        for (int m = 2; m <= 5; ++m) {
            if (dest[m]) t.push_back("RR " + device + " " + n(dest[m]) + " " + n(dest[m]) + " 'ADD'");
        }
    }
    for (const auto& [device, dest] : {std::make_pair(sdi, video), std::make_pair(aud, audio)}) {
        for (int m = 1; m <= 5; ++m) {
            if (dest[m]) t.push_back("RP " + device + " " + n(dest[m]) + " " + n(dest[m]));
        }
    }
    return t;
}

class Panel {
public:
    explicit Panel(const Facility& f = {}, const char* path = "", bool hosted = true) {
        for (int k = 0; k < 4; ++k) host.answer(lookup(k), devices(f)[k] ? Reply(n(*devices(f)[k]) + " 0") : Reply());
        for (int m = 1; m <= 5; ++m) host.answer(readEntry(f, 1, destPackages[m]), f.entries[m]);
        object = entryPoint()(hosted ? &host : nullptr, path);
    }
    ~Panel() {
        destroy();
        EXPECT_EQ(host.faults, Trace{});
        EXPECT_EQ(host.outstanding(), Trace{});
    }
    void destroy() {
        delete object;
        object = nullptr;
    }
    // The trace since the last call.
    Trace drain() {
        Trace trace = host.trace;
        host.clear();
        return trace;
    }
    void button(const char* control, const char* value = "", const char* panelId = "1") {
        ButtonPress press(control, "select", value, panelId);
        object->callback(press.data(), zarn_type_button);
    }
    void revertive(int32_t device, int32_t index, const std::string& text) {
        auto event = revertiveEvent(device, index, text);
        object->callback(event.event(), zarn_type_revertive);
    }
    Reply parent(const char* text) {
        char* reply = object->callback(const_cast<char*>(text), zarn_type_parent_message);
        if (!reply) return std::nullopt;
        std::string copy = reply;
        object->callback(reply, zarn_type_release);
        return copy;
    }
    void timer(int32_t id) { object->callback(asPointer(id), zarn_type_timer); }

    RecordingHost host;
    zarn_client_callback* object = nullptr;
};

const std::array<int, 6> defaultVideo{0, 11, 12, 13, 14, 15};
const std::array<int, 6> defaultAudio{0, 21, 22, 23, 24, 25};

TEST(k7_mon_start_up, unresolved_parts) {
    Facility dashes;
    dashes.entries = {"", "-,21", "12,-", "-,23", "14,24", "15,-"};
    Facility junk;  // missing, junk and comma-less entries mean none
    junk.entries = {"", std::nullopt, "12,22", "abc,23", "14,99999999999", "15"};
    Facility negative;  // negative indices are registered and polled as read, whole
    negative.entries = {"", "11,21", "-2000000001,-2100000001", "13,-5", "14,24", "15,25"};
    Facility noDevices;
    noDevices.names = noDevices.xpts = noDevices.sdi = noDevices.audio = std::nullopt;
    Facility noRouters;
    noRouters.sdi = noRouters.audio = std::nullopt;
    const struct {
        const char* name;
        Facility facility;
        std::array<int, 6> video, audio;
    } rows[] = {
        {"dashes", dashes, {0, 0, 12, 0, 14, 15}, {0, 21, 0, 23, 24, 0}},
        {"junk", junk, {0, 0, 12, 0, 14, 15}, {0, 0, 22, 23, 0, 0}},
        {"negative", negative, {0, 11, -2000000001, 13, 14, 15}, {0, 21, -2100000001, -5, 24, 25}},
        {"no devices", noDevices, defaultVideo, defaultAudio},
        {"no routers", noRouters, defaultVideo, defaultAudio},
    };
    for (const auto& row : rows) {
        Panel panel(row.facility);
        ASSERT_NE(panel.object, nullptr) << row.name;
        EXPECT_EQ(panel.drain(), startUpTrace(row.facility, row.video, row.audio)) << row.name;
    }
}

// The resolved facility; its trace is also pinned literally by the host's golden trace.
TEST(k7_mon_start_up, path_and_missing_host) {
    EXPECT_EQ(Panel({}, "panels").drain(), startUpTrace({}, defaultVideo, defaultAudio, "panels/k7_mon.zarn_ui"));
    EXPECT_EQ(Panel({}, nullptr).drain(), startUpTrace({}, defaultVideo, defaultAudio));

    std::optional<PlatformDebugOutput> quiet{std::in_place};  // every look-up fails without a host
    Panel lonely({}, "", false);
    quiet.reset();
    ASSERT_NE(lonely.object, nullptr);
    lonely.button("Mon_3");
    lonely.button("Sources", "5");
    lonely.revertive(0, 0, "x");
    lonely.timer(1);
    EXPECT_EQ(lonely.parent("return=all"), "myParam=");
    lonely.destroy();
    EXPECT_EQ(lonely.drain(), Trace{});
}

TEST(k7_mon_start_up, diagnostics_name_the_unusable_configuration) {
    Facility facility;
    facility.sdi = std::nullopt;
    facility.entries[3] = "abc,23";
    PlatformDebugOutput platform;
    Panel panel(facility);
    panel.button("Mon_7");
    const std::string output = platform.output();
    EXPECT_NE(output.find("\"K7 SDI Router\""), std::string::npos) << output;
    EXPECT_NE(output.find("\"abc\""), std::string::npos) << output;
    EXPECT_NE(output.find("\"Mon_7\""), std::string::npos) << output;
    EXPECT_EQ(output.find("K7 Audio Router"), std::string::npos) << output;
}

// Host whose command channel throws on one command text.
class ThrowingHost : public RecordingHost {
public:
    std::string throwOn;
    char* callback(void* data, int32_t type) override {
        char* reply = RecordingHost::callback(data, type);
        if (type == zarn_type_command && throwOn == static_cast<const char*>(data)) throw std::runtime_error("down");
        return reply;
    }
};

TEST(k7_mon_start_up, failure_during_start_up_reaches_the_host_as_null) {
#if defined(_WIN32) && defined(__i386__)
    // 32-bit Windows unwinds with tables each module registers with its own
    // runtime; the DLL's static runtime cannot unwind this program's exception.
    GTEST_SKIP() << "an exception cannot cross into a DLL with its own runtime on 32-bit Windows";
#endif
    ThrowingHost host;
    host.answer(lookup(2), "3");
    host.answer(lookup(3), "4");
    host.throwOn = "RR 4 0 0";
    zarn_client_callback* panel = nullptr;
    EXPECT_NO_THROW(panel = entryPoint()(&host, ""));
    EXPECT_EQ(panel, nullptr);
    ASSERT_GE(host.trace.size(), 4u);
    EXPECT_EQ(Trace(host.trace.end() - 4, host.trace.end()), (Trace{"RR 4 0 0", "RU 3", "RU 4", "AS"}));
}

TEST(k7_mon_teardown, unregisters_both_routers_then_ends) {
    Facility noRouters;
    noRouters.sdi = noRouters.audio = std::nullopt;
    for (const auto& [facility, expected] : {std::make_pair(Facility{}, Trace{"RU 3", "RU 4", "AS"}),
                                             std::make_pair(noRouters, Trace{"RU 0", "RU 0", "AS"})}) {
        Panel panel(facility);
        panel.drain();
        panel.destroy();
        EXPECT_EQ(panel.drain(), expected);
    }
}

TEST(k7_mon_take, routes_by_monitor_levels_and_entry) {
    Facility facility;
    facility.entries[5] = "-,25";  // monitor 5 has no video destination
    const std::string rn = "RN 8 0 5", released = "release RN 8 0 5", timer = "ET 1 160";
    const struct {
        int monitor;
        bool videoOn, audioOn;
        const char* value;
        Reply entry;
        Trace expected;
    } rows[] = {
        {1, true, true, "5", "31,41", {rn, released, "RC 3 31 11 ',' 0", "RC 4 41 21 ',' 0", timer}},
        {1, false, true, "5", "31,41", {rn, released, "RC 4 41 21 ',' 0", timer}},
        {1, true, false, "5", "31,41", {rn, released, "RC 3 31 11 ',' 0", timer}},
        {1, false, false, "5", "31,41", {rn, released, timer}},
        {3, false, false, "5", "31,41", {rn, released, "RC 3 31 13 ',' 0", "RC 4 41 23 ',' 0", timer}},
        {2, true, true, "5", "31,-", {rn, released, "RC 3 31 12 ',' 0", timer}},
        {2, true, true, "5", "-,41", {rn, released, "RC 4 41 22 ',' 0", timer}},
        {4, true, true, "5", std::nullopt, {rn, "release null", timer}},
        {5, true, true, "5", "31,41", {rn, released, "RC 4 41 25 ',' 0", timer}},
        {1, true, true, "5", "-5,41", {rn, released, "RC 3 -5 11 ',' 0", "RC 4 41 21 ',' 0", timer}},
        {2,
         true,
         true,
         "5",
         "-2000000001,-2100000001",
         {rn, released, "RC 3 -2000000001 12 ',' 0", "RC 4 -2100000001 22 ',' 0", timer}},
        {1, true, true, "5", "x,y", {rn, released, timer}},
        {1, true, true, "0", "31,41", {}},
        {1, true, true, "-1", "31,41", {}},
        {1, true, true, "", "31,41", {}},
        {1, true, true, "99999999999", "31,41", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(&row - rows));
        Panel panel(facility);
        if (row.monitor != 1) panel.button(("Mon_" + n(row.monitor)).c_str());
        if (!row.videoOn) panel.button("VidLevel");
        if (!row.audioOn) panel.button("AudLevel");
        panel.host.answer(std::string("RN 8 0 ") + row.value, row.entry);
        panel.drain();
        panel.button("Sources", row.value);
        EXPECT_EQ(panel.drain(), row.expected);
    }
}

TEST(k7_mon_select, moves_the_indicator_and_ignores_unknown_monitors) {
    Panel panel;
    panel.drain();
    const struct {
        const char* control;
        Trace expected;
    } steps[] = {
        {"Mon_2", {"TP 'statesheet=RZ_Tally_Black' '1' 'ID_1'", "TP 'statesheet=RZ_Tally_Red' '1' 'ID_2'"}},
        {"Mon_4", {"TP 'statesheet=RZ_Tally_Black' '1' 'ID_2'", "TP 'statesheet=RZ_Tally_Red' '1' 'ID_4'"}},
        {"Mon_4", {}},
        {"Mon_0", {}},
        {"Mon_6", {}},
        {"Mon_12", {}},
        {"Mon_", {}},
        {"Mon_x", {}},
        {"Mon_99999999999", {}},
    };
    {
        PlatformDebugOutput quiet;
        for (const auto& step : steps) {
            panel.button(step.control);
            EXPECT_EQ(panel.drain(), step.expected) << step.control;
        }
    }
    // Monitor 4 is still the one a take goes to.
    panel.host.answer("RN 8 0 9", "31,41");
    panel.button("Sources", "9");
    EXPECT_EQ(panel.drain(),
              (Trace{"RN 8 0 9", "release RN 8 0 9", "RC 3 31 14 ',' 0", "RC 4 41 24 ',' 0", "ET 1 160"}));
}

TEST(k7_mon_levels, each_press_toggles_the_image) {
    Panel panel;
    panel.drain();
    panel.button("VidLevel", "1");
    panel.button("VidLevel", "1");
    panel.button("AudLevel");
    EXPECT_EQ(panel.drain(), (Trace{"TP 'pixmap=/images/SmallCross.png' '1' 'VidLevel'",
                                    "TP 'pixmap=/images/SmallTick.png' '1' 'VidLevel'",
                                    "TP 'pixmap=/images/SmallCross.png' '1' 'AudLevel'"}));
}

TEST(k7_mon_events, foreign_and_malformed_events_are_ignored) {
    Panel panel;
    panel.drain();
    for (const auto& [panelId, control] :
         {std::make_pair("2", "Sources"), std::make_pair("01", "Sources"), std::make_pair("", "Sources"),
          std::make_pair("1", "Unknown"), std::make_pair("1", ""), std::make_pair("1", "Mon")}) {
        panel.button(control, "5", panelId);
    }
    panel.object->callback(nullptr, zarn_type_button);
    ButtonPress bare(nullptr, nullptr, nullptr, nullptr, false);
    panel.object->callback(bare.data(), zarn_type_button);
    ButtonPress noValue("Sources", nullptr, nullptr);
    panel.object->callback(noValue.data(), zarn_type_button);
    panel.object->callback(nullptr, zarn_type_revertive);
    EXPECT_EQ(panel.drain(), Trace{});
}

TEST(k7_mon_timer, take_timer_clears_the_selection) {
    Panel panel;
    panel.drain();
    const std::pair<int32_t, Trace> rows[] = {
        {1, {"ET 1", "TP 'select=-1' '1' 'Sources'"}}, {7, {"ET 7"}}, {0, {"ET 0"}}, {-1, {"ET -1"}}};
    for (const auto& [id, expected] : rows) {
        panel.timer(id);
        EXPECT_EQ(panel.drain(), expected) << id;
    }
}

TEST(k7_mon_tally, first_matching_row_of_the_revertive_router) {
    Facility equal;  // monitor 2 shares monitor 1's video, monitor 5 monitor 4's audio
    equal.entries[2] = "11,22";
    equal.entries[5] = "15,24";
    Facility zero;
    zero.entries[1] = "-,-";
    Facility shared;  // one device number for both routers
    shared.audio = 3;
    const Facility plain;
    std::string huge(1 << 20, ' ');  // every byte value but NUL, quotes included
    for (std::size_t i = 0; i < huge.size(); ++i) huge[i] = static_cast<char>(1 + i % 255);
    auto tp = [](const std::string& text, const std::string& control) {
        return Trace{"TP 'text=" + text + "' '1' '" + control + "'"};
    };
    const struct {
        const Facility& facility;
        int32_t device, index;
        std::string text;
        Trace expected;
    } rows[] = {
        {plain, 3, 11, "CAM 1", tp("CAM 1", "Vidtally_1")},
        {plain, 3, 12, "CAM 2", tp("CAM 2", "Vidtally_2")},
        {plain, 3, 13, "it's", tp("it's", "Vidtally_3")},
        {plain, 3, 12, huge, tp(huge, "Vidtally_2")},
        {plain, 3, 14, "x", {}},
        {plain, 3, 21, "x", {}},
        {plain, 4, 21, "MIC", tp("MIC", "Audtally_1")},
        {plain, 4, 22, "x", {}},
        {plain, 4, 24, "", tp("", "Audtally_4")},
        {plain, 4, 25, "A=B", tp("A=B", "Audtally_5")},
        {plain, 4, 11, "x", {}},
        {plain, 9, 11, "x", {}},
        {equal, 3, 11, "x", tp("x", "Vidtally_1")},
        {equal, 4, 24, "x", tp("x", "Audtally_4")},
        {zero, 3, 0, "x", tp("x", "Vidtally_1")},
        {zero, 4, 0, "x", tp("x", "Audtally_1")},
        {shared, 3, 11, "x", tp("x", "Vidtally_1")},
        {shared, 3, 24, "x", tp("x", "Audtally_4")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(&row - rows));
        Panel panel(row.facility);
        panel.drain();
        panel.revertive(row.device, row.index, row.text);
        EXPECT_EQ(panel.drain(), row.expected);
    }
}

TEST(k7_mon_parent, protocol_rows) {
    Panel panel;
    panel.drain();
    const std::pair<const char*, Reply> steps[] = {
        {"return=all", "myParam="},        {"return=myParam", "myParam="},      {"myParam=abc", std::nullopt},
        {"return=myParam", "myParam=abc"}, {"return=all", "myParam=abc"},       {"return=instance", std::nullopt},
        {"return", std::nullopt},          {"instance=x", std::nullopt},        {"instance=x", std::nullopt},
        {"return=myParam", "myParam=abc"}, {"myParam=%2%1", std::nullopt},      {"return=myParam", "myParam=%2%1"},
        {"return=all", "myParam=%2%1"},    {"myParam.sub=a=b.c", std::nullopt}, {"return.x=myParam", "myParam=a=b.c"},
        {"myParam=", std::nullopt},        {"return=myParam", "myParam="},      {"_events", "notify=*"},
        {"_commands", "myParam=[value]"},  {"unknown=1", std::nullopt},         {"", std::nullopt},
        {nullptr, std::nullopt},
    };
    for (const auto& [message, reply] : steps) {
        EXPECT_EQ(panel.parent(message), reply) << (message ? message : "null");
    }
    EXPECT_EQ(panel.drain(), Trace{});  // the protocol sends the host nothing
}

}  // namespace
