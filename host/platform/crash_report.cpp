#include "platform/crash_report.h"

#include <cstring>

namespace zarn_host {
namespace {

constexpr std::size_t stepChars = 600;
constexpr std::size_t commandChars = 200;

// Written by the host's panel thread between (and during) panel calls, read
// by the handler on the same thread after the fault, so no lock is needed.
char stepText[stepChars];
char commandRing[crashCommandsKept][commandChars];
std::size_t commandsNoted = 0;  // ever, since the last forget; the ring holds the newest

// Copies text into out as one printable line of at most capacity - 1 chars.
void copyLine(char* out, std::size_t capacity, const char* text, std::size_t length) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < length && n + 1 < capacity; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        out[n++] = c < 0x20 || c == 0x7f ? '?' : static_cast<char>(c);
    }
    out[n] = '\0';
}

struct Writer {
    char* out;
    std::size_t capacity;
    std::size_t length = 0;
    std::size_t lineStart = 0;
    bool full = false;

    void add(const char* text) {
        for (; *text && !full; ++text) {
            if (length + 1 >= capacity) {
                full = true;
                length = lineStart;  // a cut line is dropped whole
                return;
            }
            out[length++] = *text;
            if (*text == '\n') lineStart = length;
        }
    }
    void addNumber(std::size_t value) {
        char digits[24];
        std::size_t n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0 && n < sizeof digits);
        char text[25];
        for (std::size_t i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
        text[n] = '\0';
        add(text);
    }
};

}  // namespace

void crashNoteStep(const std::string& file, int line, const std::string& source) {
    // No allocation: the text is built in place.
    char number[16];
    std::size_t digits = 0;
    unsigned value = line < 0 ? 0u : static_cast<unsigned>(line);
    do {
        number[digits++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 && digits < sizeof number);
    std::size_t n = 0;
    auto append = [&n](const char* text, std::size_t length) {
        if (n + 1 >= sizeof stepText) return;
        copyLine(stepText + n, sizeof stepText - n, text, length);
        n += std::strlen(stepText + n);
    };
    append(file.data(), file.size());
    append(":", 1);
    char reversed[16];
    for (std::size_t i = 0; i < digits; ++i) reversed[i] = number[digits - 1 - i];
    append(reversed, digits);
    append(": ", 2);
    append(source.data(), source.size());
}

void crashNoteActivity(const char* what) {
    copyLine(stepText, sizeof stepText, what, std::strlen(what));
}

void crashNoteCommand(const char* text) {
    if (!text) text = "(null)";
    char* slot = commandRing[commandsNoted % crashCommandsKept];
    copyLine(slot, commandChars, text, std::strlen(text));
    ++commandsNoted;
}

void crashForgetCommands() {
    commandsNoted = 0;
}

std::size_t crashReportText(const char* what, char* out, std::size_t capacity) {
    if (capacity == 0) return 0;
    Writer w{out, capacity};
    w.add(crashLinePrefix);
    w.add(what);
    w.add("\n");
    w.add(crashStepPrefix);
    w.add(stepText[0] ? stepText : "none (before the first step)");
    w.add("\n");
    std::size_t kept = commandsNoted < crashCommandsKept ? commandsNoted : crashCommandsKept;
    if (kept == 0) {
        w.add("zarn_host: crash: the panel sent no command before it\n");
    } else {
        w.add("zarn_host: crash: the last ");
        w.addNumber(kept);
        w.add(" of ");
        w.addNumber(commandsNoted);
        w.add(" commands the panel sent, oldest first:\n");
    }
    for (std::size_t i = commandsNoted - kept; i < commandsNoted; ++i) {
        w.add(crashCommandPrefix);
        w.add(commandRing[i % crashCommandsKept]);
        w.add("\n");
    }
    out[w.length < capacity ? w.length : capacity - 1] = '\0';
    return w.length;
}

}  // namespace zarn_host
