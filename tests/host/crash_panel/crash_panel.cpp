// A small panel that keeps the protocol until told to fail, for the host's
// crash report and the served host's supervisor. It shows crash.zarn_ui from
// its folder. "Count" counts presses into the property count=N of "Counter";
// "Fault" fails as its details command says: segv, abort, fpe, ill, hang,
// thread (a segv on a thread of its own).
// Built with CRASH_ON_CREATE it crashes while being created.
#include <zarn/zarn_client.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

volatile int zero = 0;
volatile int one = 1;  // both read at run time, so a real division traps
int* volatile nowhere = nullptr;

void failAs(const std::string& how) {
    if (how == "segv") *nowhere = 1;
    if (how == "abort") std::abort();
    if (how == "fpe") {
#if defined(__i386__) || defined(__x86_64__) || defined(_M_IX86) || defined(_M_X64)
        std::printf("%d\n", one / zero);
#else
        std::raise(SIGFPE);
#endif
    }
    if (how == "ill") std::raise(SIGILL);
    if (how == "thread") {
        // A fault on a thread of the panel's own, not the host's panel thread.
        std::thread([] { *nowhere = 3; }).join();
    }
    if (how == "hang") {
        for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}

class crash_panel : public zarn_client_callback {
public:
    crash_panel(zarn_client_callback* host, const char* folder) : host_(host) {
        send("ET 9 1000");
#ifdef CRASH_ON_CREATE
        *nowhere = 2;
#endif
        std::string file = folder && *folder ? std::string(folder) + "/crash.zarn_ui" : "crash.zarn_ui";
        send("PS '1' '" + file + "'");
    }
    ~crash_panel() override {
        send("AS");
    }

    char* callback(void* data, int32_t type) override {
        if (type != zarn_type_button || !data) return nullptr;
        const auto* event = static_cast<const ButtonEvent*>(data);
        std::string control = event->controlId ? event->controlId : "";
        if (control == "Count") {
            ++count_;
            send("TP 'count=" + std::to_string(count_) + "' '1' 'Counter'");
        } else if (control == "Fault" && event->details && event->details->command) {
            send("TP 'text=failing' '1' 'Counter'");
            failAs(event->details->command);
        }
        return nullptr;
    }

private:
    void send(const std::string& text) {
        host_->callback(const_cast<char*>(text.c_str()), zarn_type_command);
    }

    zarn_client_callback* host_;
    int count_ = 0;
};

}  // namespace

ZARN_EXPORT zarn_client_callback* load_zarn_client_script(zarn_client_callback* host, const char* folder) {
    return new crash_panel(host, folder);
}
