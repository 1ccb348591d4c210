#include "k7_mon.h"

#include <zarn/zarn_stringlist.h>

namespace {

// Host resources and panel layout, all compiled in.
constexpr int32_t panelNumber = 1;  // the only panel whose events are handled
// Texts every revertive sends are built once, as strings, so that a tally
// costs no conversion of literal texts (all are short enough to live inside
// their string or prepared property: nothing is allocated when the library
// loads).
const zarn_string panelId("1");
constexpr char panelFile[] = "k7_mon.zarn_ui";

constexpr char packageNamesInstance[] = "K7 Package Names";
constexpr char packageXptsInstance[] = "K7 Package XPTS";
constexpr char sdiRouterInstance[] = "K7 SDI Router";
constexpr char audioRouterInstance[] = "K7 Audio Router";

// Databases of "K7 Package XPTS": entry "video,audio", "-" for none.
constexpr int32_t sourcePackageDatabase = 0;
constexpr int32_t destinationPackageDatabase = 1;
constexpr char noRouterIndex[] = "-";
// Destination package of monitors 1 to 5 (not ascending: 4 is 387, 5 is 390).
constexpr int32_t monitorDestPackages[k7_mon::monitorCount] = {361, 388, 389, 387, 390};

constexpr char sourcesControl[] = "Sources";
constexpr char monitorButtonPrefix[] = "Mon_";
constexpr char monitorIndicator[] = "ID_%1";
constexpr char indicatorProperty[] = "statesheet";
constexpr char selectedSheet[] = "RZ_Tally_Red";
constexpr char unselectedSheet[] = "RZ_Tally_Black";

constexpr char videoLevelControl[] = "VidLevel";
constexpr char audioLevelControl[] = "AudLevel";
constexpr char initialLevelProperty[] = "";  // the first draw names no property
constexpr char levelImageProperty[] = "pixmap";
constexpr char levelOnImage[] = "/images/SmallTick.png";
constexpr char levelOffImage[] = "/images/SmallCross.png";

constexpr int32_t takeTimer = 1;
constexpr int32_t takeTimerInterval = 160;  // host timer units
constexpr char selectionReset[] = "select=-1";

// A tally's TP is prepared when the library loads, so that a revertive
// writes only its text into it.
struct Tally {
    int32_t monitor;
    PreparedProperty text;
};
const zarn_string tallyProperty("text");
Tally tally(int32_t monitor, const char* control) {
    return {monitor, PreparedProperty(tallyProperty, panelId, control)};
}
// First match wins; the audio tallies are those of monitors 1, 4 and 5.
const Tally videoTallies[] = {tally(1, "Vidtally_1"), tally(2, "Vidtally_2"), tally(3, "Vidtally_3")};
const Tally audioTallies[] = {tally(1, "Audtally_1"), tally(4, "Audtally_4"), tally(5, "Audtally_5")};

// Parent protocol.
constexpr char returnCommand[] = "return";
constexpr char returnAll[] = "all";
constexpr char myParamName[] = "myParam";
constexpr char instanceCommand[] = "instance";
constexpr char eventsCommand[] = "_events";
constexpr char commandsCommand[] = "_commands";
constexpr char allEntry[] = "myParam=%1";
constexpr char namedValue[] = "%1=%2";
constexpr char eventsEntry[] = "notify=*";
constexpr char commandsEntry[] = "myParam=[value]";
constexpr char listSeparator = '\n';

zarn_string decimal(int32_t value) {
    return zarn_string(value, 0, 0, 10);
}

zarn_string indicatorControl(int32_t monitor) {
    return zarn_string(monitorIndicator).args({decimal(monitor)});
}

zarn_string singleEntryList(const zarn_string& entry) {
    zarn_stringlist list;
    list << entry;
    return list.toString(listSeparator);
}

// "0", " 0", "-00": a deliberate none, unlike text that merely reads as 0.
bool isDecimalZero(const char* text) {
    while (*text == ' ') ++text;
    if (*text == '-' || *text == '+') ++text;
    if (*text != '0') return false;
    while (*text == '0') ++text;
    while (*text == ' ') ++text;
    return *text == '\0';
}

}  // namespace

k7_mon::k7_mon(zarn_client_callback* host, const char* path)
    : zarn_script_helper(host, path),
      sdiRouterDevice(0),
      audioRouterDevice(0),
      packageNamesDevice(0),
      packageXptsDevice(0),
      selectedMonitor(1),
      videoDest{},
      audioDest{},
      videoLevelOn(true),
      audioLevelOn(true) {
    // The destructor does not run for a failed start-up, so undo any
    // registration here before the failure reaches the entry point.
    try {
        startUp();
    } catch (...) {
        unregisterRouters();
        throw;
    }
}

k7_mon::~k7_mon() {
    unregisterRouters();
}

void k7_mon::startUp() {
    packageNamesDevice = lookupRequiredDevice(packageNamesInstance);
    packageXptsDevice = lookupRequiredDevice(packageXptsInstance);
    sdiRouterDevice = lookupRequiredDevice(sdiRouterInstance);
    audioRouterDevice = lookupRequiredDevice(audioRouterInstance);

    for (int32_t monitor = 1; monitor <= monitorCount; ++monitor) {
        resolvePackage(monitorDestPackages[monitor - 1], destinationPackageDatabase, videoDest[monitor],
                       audioDest[monitor]);
    }

    showPanel(panelId, panelFile, zarn_string());

    videoLevelOn = true;
    audioLevelOn = true;
    setProperty(initialLevelProperty, levelOnImage, panelId, videoLevelControl);
    setProperty(initialLevelProperty, levelOnImage, panelId, audioLevelControl);

    for (int32_t monitor = 1; monitor <= monitorCount; ++monitor) {
        setProperty(indicatorProperty, monitor == selectedMonitor ? selectedSheet : unselectedSheet, panelId,
                    indicatorControl(monitor));
    }

    // The first registration of each router replaces whatever the host held
    // for this panel, so it goes out even for an unresolved destination.
    registerRouter(sdiRouterDevice, videoDest[1], videoDest[1], false);
    for (int32_t monitor = 2; monitor <= monitorCount; ++monitor) {
        if (videoDest[monitor] != 0) registerRouter(sdiRouterDevice, videoDest[monitor], videoDest[monitor], true);
    }
    registerRouter(audioRouterDevice, audioDest[1], audioDest[1], false);
    for (int32_t monitor = 2; monitor <= monitorCount; ++monitor) {
        if (audioDest[monitor] != 0) registerRouter(audioRouterDevice, audioDest[monitor], audioDest[monitor], true);
    }

    // The polls bring the current routing back as revertives, i.e. tallies.
    for (int32_t monitor = 1; monitor <= monitorCount; ++monitor) {
        if (videoDest[monitor] != 0) pollRouter(sdiRouterDevice, videoDest[monitor], videoDest[monitor]);
    }
    for (int32_t monitor = 1; monitor <= monitorCount; ++monitor) {
        if (audioDest[monitor] != 0) pollRouter(audioRouterDevice, audioDest[monitor], audioDest[monitor]);
    }
}

void k7_mon::unregisterRouters() {
    unregisterRouter(sdiRouterDevice);
    unregisterRouter(audioRouterDevice);
}

int32_t k7_mon::lookupRequiredDevice(const char* instanceName) {
    int32_t device = 0;
    lookupDevice(instanceName, &device, nullptr);
    if (device == 0) {
        debugPrint("k7_mon: device instance \"%1\" was not found; the panel cannot use it\n", instanceName);
    }
    return device;
}

void k7_mon::resolvePackage(int32_t index, int32_t database, int32_t& video, int32_t& audio) {
    zarn_string entry;
    readDatabaseEntry(packageXptsDevice, database, index, entry);
    zarn_string left;
    zarn_string right;
    entry.split(',', left, right);
    video = routerIndex(left, index, database);
    audio = routerIndex(right, index, database);
}

// A router index is any 32-bit number but 0, negative ones included: the host
// decides what it can route. "-", an empty part and 0 mean none. A part that
// holds no number (junk, out of range) is reported and also taken as none, so
// it is never registered, polled or routed.
int32_t k7_mon::routerIndex(const zarn_string& part, int32_t index, int32_t database) {
    if (part.isEmpty() || part == noRouterIndex) return 0;
    const int32_t value = part.toInt();
    if (value != 0) return value;
    if (!isDecimalZero(part)) {
        // The part comes from the host: quote only its start, so a huge reply
        // does not become a huge diagnostic.
        constexpr int shownLength = 40;
        const zarn_string shown = part.length() > shownLength ? zarn_string(part.c_str(), shownLength) + "..." : part;
        debugPrint("k7_mon: entry %1 of database %2 of \"%3\" holds no router index in \"%4\"; taken as none\n",
                   decimal(index), decimal(database), packageXptsInstance, shown);
    }
    return 0;
}

void k7_mon::onButton(ButtonEventHandle event) {
    if (!(event.panelId() == panelNumber)) return;
    const zarn_string control = event.controlId();
    if (control == sourcesControl) {
        const int32_t package = event.value().toInt();
        if (package >= 1) take(package);
    } else if (control.startsWith(monitorButtonPrefix)) {
        const int32_t monitor = control.firstInt();
        if (monitor < 1 || monitor > monitorCount) {
            // Would select a monitor without destinations; keep the selection.
            debugPrint("k7_mon: button \"%1\" names no monitor from 1 to 5; ignored\n", control);
            return;
        }
        selectMonitor(monitor);
    } else if (control == videoLevelControl) {
        toggleLevel(videoLevelOn, videoLevelControl);
    } else if (control == audioLevelControl) {
        toggleLevel(audioLevelOn, audioLevelControl);
    }
}

void k7_mon::take(int32_t package) {
    int32_t video = 0;
    int32_t audio = 0;
    resolvePackage(package, sourcePackageDatabase, video, audio);
    const int32_t monitor = selectedMonitor;
    // The level toggles act on takes to monitor 1 alone.
    const bool routeVideo = monitor != 1 || videoLevelOn;
    const bool routeAudio = monitor != 1 || audioLevelOn;
    if (routeVideo && video != 0 && videoDest[monitor] != 0) {
        makeCrosspoint(sdiRouterDevice, video, videoDest[monitor], zarn_string(), false);
    }
    if (routeAudio && audio != 0 && audioDest[monitor] != 0) {
        makeCrosspoint(audioRouterDevice, audio, audioDest[monitor], zarn_string(), false);
    }
    // Clears the source list selection shortly after the take.
    startTimer(takeTimer, takeTimerInterval);
}

void k7_mon::selectMonitor(int32_t monitor) {
    if (monitor == selectedMonitor) return;
    setProperty(indicatorProperty, unselectedSheet, panelId, indicatorControl(selectedMonitor));
    selectedMonitor = monitor;
    setProperty(indicatorProperty, selectedSheet, panelId, indicatorControl(selectedMonitor));
}

void k7_mon::toggleLevel(bool& levelOn, const char* control) {
    setProperty(levelImageProperty, levelOn ? levelOffImage : levelOnImage, panelId, control);
    levelOn = !levelOn;
}

void k7_mon::onTimer(int32_t id) {
    stopTimer(id);
    if (id == takeTimer) setPropertyText(selectionReset, panelId, sourcesControl);
}

int32_t k7_mon::onRevertive(RevertiveEventHandle event) {
    const int32_t device = event.device();
    const int32_t index = event.index();
    // Plain equality: an unresolved destination (0) takes part like any other.
    auto setTally = [&](const Tally(&rows)[3], const int32_t* dest) {
        for (const Tally& row : rows) {
            if (index == dest[row.monitor]) {
                // The record's own text goes into the TP: no copy is needed,
                // as it lives until this notification returns.
                const RevertiveEvent* record = event.record();
                setProperty(row.text, record != nullptr ? record->text() : "");
                return true;
            }
        }
        return false;
    };
    if (device == sdiRouterDevice && setTally(videoTallies, videoDest)) return 0;
    if (device == audioRouterDevice) setTally(audioTallies, audioDest);
    return 0;
}

zarn_string k7_mon::onParentMessage(ParamCommandHandle message) {
    const zarn_string command = message.command();
    const zarn_string value = message.value();
    // One-pass fills: a stored value holding "%2" arrives unchanged.
    if (command == returnCommand) {
        if (value == returnAll) return singleEntryList(zarn_string(allEntry).args({myParam}));
        if (value == myParamName) return zarn_string(namedValue).args({value, myParam});
        return zarn_string();
    }
    if (command == instanceCommand && value != instance) {
        instance = value;
        return zarn_string();
    }
    if (command == myParamName) {
        myParam = value;
        return zarn_string();
    }
    if (command == eventsCommand) return singleEntryList(eventsEntry);
    if (command == commandsCommand) return singleEntryList(commandsEntry);
    return zarn_string();
}
