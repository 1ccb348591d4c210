// A panel host as a facility builds it: Microsoft's C++ ABI, no C runtime,
// nothing but kernel32. It declares the boundary itself, the way the host's
// own headers do, loads the panel DLL named on its command line and drives it
// through start-up, a take, a timer, a revertive, a parent message with its
// hand-back, and deletion, checking every command text and every hand-back.
// Prints one line per step; exits 0 when every step matched, 1 otherwise.

using size_t = decltype(sizeof 0);
using int32_t = int;

extern "C" {
__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, unsigned long size, unsigned long* written,
                                              void* overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);
__declspec(dllimport) char* __stdcall GetCommandLineA();
__declspec(dllimport) void* __stdcall LoadLibraryA(const char* name);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);

// What the compiler calls on its own, since there is no C runtime.
void* memset(void* to, int value, size_t size) {
    volatile unsigned char* p = static_cast<unsigned char*>(to);
    while (size--) *p++ = static_cast<unsigned char>(value);
    return to;
}
void* memcpy(void* to, const void* from, size_t size) {
    volatile unsigned char* p = static_cast<unsigned char*>(to);
    const unsigned char* q = static_cast<const unsigned char*>(from);
    while (size--) *p++ = *q++;
    return to;
}
int _purecall() {
    ExitProcess(3);
}
}
// The host object lives on the stack; its deleting destructor must still link.
void operator delete(void*) {}
void operator delete(void*, size_t) {}

namespace {

// The boundary as the host declares it.
class ClientCallback {
public:
    virtual ~ClientCallback() {}
    virtual char* callback(void* data, int32_t type) = 0;
};
using EntryPoint = ClientCallback* (*)(ClientCallback* host, const char* path);

struct ButtonEventDetails {
    const char* command;
    const char* subFields[32];
    const char* value;
};
struct ButtonEvent {
    int32_t reserved[2];
    const char* panelId;
    const char* controlId;
    const ButtonEventDetails* details;
};
struct RevertiveEvent {
    int32_t device, reserved1, index, reserved2;
    char text[256];
};

size_t length(const char* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}
bool same(const char* a, const char* b) {
    if (!a || !b) return a == b;
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}
void copy(char* to, size_t capacity, const char* from) {
    size_t n = 0;
    for (; from[n] && n + 1 < capacity; ++n) to[n] = from[n];
    to[n] = 0;
}

void print(const char* text) {
    unsigned long written = 0;
    WriteFile(GetStdHandle(static_cast<unsigned long>(-11)), text, static_cast<unsigned long>(length(text)), &written,
              nullptr);
}

constexpr int maxLines = 64, lineSize = 96, maxReplies = 8;

// Outside the host object, which lives on the stack: no stack probes without a runtime.
char lines[maxLines][lineSize];
struct Reply {
    char text[lineSize];
    char command[lineSize];
    bool lent;
};
Reply replies[maxReplies];

// Records the panel's calls as lines: a command as its text, a hand-back as
// "release <command>", "release null" or "release foreign".
class RecordingHost : public ClientCallback {
public:
    ~RecordingHost() override {}

    char* callback(void* data, int32_t type) override {
        if (type == 0) {
            const char* text = data ? static_cast<const char*>(data) : "<null>";
            add(text);
            for (const auto& answer : answers) {
                if (same(answer.command, text)) return lend(text, answer.reply);
            }
            return nullptr;
        }
        if (type == 5) {
            if (!data) {
                add("release null");
                return nullptr;
            }
            for (auto& slot : replies) {
                if (slot.lent && slot.text == data) {
                    slot.lent = false;
                    char line[lineSize] = "release ";
                    copy(line + 8, lineSize - 8, slot.command);
                    add(line);
                    return nullptr;
                }
            }
            add("release foreign");
            return nullptr;
        }
        add("unexpected type");
        return nullptr;
    }

    int count = 0;
    int outstanding() const {
        int n = 0;
        for (const auto& slot : replies) n += slot.lent ? 1 : 0;
        return n;
    }

private:
    struct Answer {
        const char* command;
        const char* reply;
    };
    static constexpr Answer answers[] = {
        {"SD 'K7 Package Names'", "7 0"}, {"SD 'K7 Package XPTS'", "8 0"},
        {"SD 'K7 SDI Router'", "3 0"},    {"SD 'K7 Audio Router'", "4 0"},
        {"RN 8 1 361", "11,21"},          {"RN 8 1 388", "12,22"},
        {"RN 8 1 389", "13,23"},          {"RN 8 1 387", "14,24"},
        {"RN 8 1 390", "15,25"},          {"RN 8 0 5", "31,41"},
    };
    void add(const char* text) {
        if (count < maxLines) copy(lines[count], lineSize, text);
        ++count;
    }
    char* lend(const char* command, const char* reply) {
        for (auto& slot : replies) {
            if (!slot.lent) {
                slot.lent = true;
                copy(slot.text, lineSize, reply);
                copy(slot.command, lineSize, command);
                return slot.text;
            }
        }
        add("out of reply slots");
        return nullptr;
    }
};

bool failed = false;

// Compares the lines recorded since the last step with expected, then clears them.
void check(const char* step, RecordingHost& host, const char* const* expected, int count) {
    bool ok = host.count == count;
    for (int i = 0; ok && i < count; ++i) ok = same(lines[i], expected[i]);
    print(ok ? "ok   " : "FAIL ");
    print(step);
    print("\r\n");
    if (!ok) {
        failed = true;
        for (int i = 0; i < count; ++i) print("  expected: "), print(expected[i]), print("\r\n");
        for (int i = 0; i < host.count && i < maxLines; ++i) {
            print("  got:      "), print(lines[i]), print("\r\n");
        }
    }
    host.count = 0;
}
template <int N>
void check(const char* step, RecordingHost& host, const char* const (&expected)[N]) {
    check(step, host, expected, N);
}

const char* const startUp[] = {
    "SD 'K7 Package Names'",
    "release SD 'K7 Package Names'",
    "SD 'K7 Package XPTS'",
    "release SD 'K7 Package XPTS'",
    "SD 'K7 SDI Router'",
    "release SD 'K7 SDI Router'",
    "SD 'K7 Audio Router'",
    "release SD 'K7 Audio Router'",
    "RN 8 1 361",
    "release RN 8 1 361",
    "RN 8 1 388",
    "release RN 8 1 388",
    "RN 8 1 389",
    "release RN 8 1 389",
    "RN 8 1 387",
    "release RN 8 1 387",
    "RN 8 1 390",
    "release RN 8 1 390",
    "PS '1' 'k7_mon.zarn_ui'",
    "TP '=/images/SmallTick.png' '1' 'VidLevel'",
    "TP '=/images/SmallTick.png' '1' 'AudLevel'",
    "TP 'statesheet=RZ_Tally_Red' '1' 'ID_1'",
    "TP 'statesheet=RZ_Tally_Black' '1' 'ID_2'",
    "TP 'statesheet=RZ_Tally_Black' '1' 'ID_3'",
    "TP 'statesheet=RZ_Tally_Black' '1' 'ID_4'",
    "TP 'statesheet=RZ_Tally_Black' '1' 'ID_5'",
    "RR 3 11 11",
    "RR 3 12 12 'ADD'",
    "RR 3 13 13 'ADD'",
    "RR 3 14 14 'ADD'",
    "RR 3 15 15 'ADD'",
    "RR 4 21 21",
    "RR 4 22 22 'ADD'",
    "RR 4 23 23 'ADD'",
    "RR 4 24 24 'ADD'",
    "RR 4 25 25 'ADD'",
    "RP 3 11 11",
    "RP 3 12 12",
    "RP 3 13 13",
    "RP 3 14 14",
    "RP 3 15 15",
    "RP 4 21 21",
    "RP 4 22 22",
    "RP 4 23 23",
    "RP 4 24 24",
    "RP 4 25 25",
};
const char* const take[] = {"RN 8 0 5", "release RN 8 0 5", "RC 3 31 11 ',' 0", "RC 4 41 21 ',' 0", "ET 1 160"};
const char* const timer[] = {"ET 1", "TP 'select=-1' '1' 'Sources'"};
const char* const revertive[] = {"TP 'text=CAM 1' '1' 'Vidtally_1'"};
const char* const deletion[] = {"RU 3", "RU 4", "AS"};

// The DLL path: the command line after the program's own name.
const char* argument() {
    const char* line = GetCommandLineA();
    if (*line == '"') {
        ++line;
        while (*line && *line != '"') ++line;
        if (*line) ++line;
    } else {
        while (*line && *line != ' ' && *line != '\t') ++line;
    }
    while (*line == ' ' || *line == '\t') ++line;
    return line;
}

int run() {
    const char* path = argument();
    void* module = *path ? LoadLibraryA(path) : nullptr;
    void* symbol = module ? GetProcAddress(module, "load_zarn_client_script") : nullptr;
    if (!symbol) {
        print("cannot load the panel's entry point\r\n");
        return 2;
    }
    auto entry = reinterpret_cast<EntryPoint>(symbol);

    RecordingHost host;
    ClientCallback* panel = entry(&host, "");
    if (!panel) {
        print("the entry point gave no panel\r\n");
        return 1;
    }
    check("start-up", host, startUp);

    ButtonEventDetails details = {};
    details.command = "select";
    details.value = "5";
    for (const char*& field : details.subFields) field = "";
    ButtonEvent button = {{-1, -1}, "1", "Sources", &details};
    panel->callback(&button, 2);
    check("take", host, take);

    panel->callback(reinterpret_cast<void*>(static_cast<decltype(sizeof 0)>(1)), 4);
    check("timer", host, timer);

    RevertiveEvent event = {3, -1, 11, -1, "CAM 1"};
    panel->callback(&event, 1);
    check("revertive", host, revertive);

    char set[] = "myParam=abc", ask[] = "return=myParam";
    char* none = panel->callback(set, 3);
    char* reply = panel->callback(ask, 3);
    const bool replied = !none && same(reply, "myParam=abc");
    if (reply) panel->callback(reply, 5);  // handed back: the panel frees its own buffer
    check("parent message and hand-back", host, static_cast<const char* const*>(nullptr), 0);
    if (!replied) {
        failed = true;
        print("FAIL parent reply: expected myParam=abc\r\n");
    }

    delete panel;  // slot 0 with flags 1
    check("deletion", host, deletion);
    if (host.outstanding() != 0) {
        failed = true;
        print("FAIL replies never handed back\r\n");
    }
    print(failed ? "FAILED\r\n" : "PASSED\r\n");
    return failed ? 1 : 0;
}

}  // namespace

extern "C" void host_main() {
    ExitProcess(static_cast<unsigned int>(run()));
}
