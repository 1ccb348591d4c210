#include <zarn/param_command.h>

#include <cstring>

const char zarn_empty_text[1] = {'\0'};

ParamCommand::ParamCommand(const char* text)
    : command(zarn_empty_text), value(zarn_empty_text), subFieldCount(0), hasValue(false), buffer(nullptr) {
    for (const char*& field : subFields) field = zarn_empty_text;
    if (!text || !*text) return;

    const std::size_t length = std::strlen(text);
    buffer = new char[length + 1];
    std::memcpy(buffer, text, length + 1);
    command = buffer;

    // The first "=" ends the scan: the value keeps every later "." and "=".
    // After the 32nd sub-field the scan stops too, so that sub-field keeps the
    // rest of the text unchanged.
    for (std::size_t i = 0; i < length && subFieldCount < maxSubFields; ++i) {
        if (buffer[i] == '.') {
            buffer[i] = '\0';
            subFields[subFieldCount++] = buffer + i + 1;
        } else if (buffer[i] == '=') {
            buffer[i] = '\0';
            value = buffer + i + 1;
            hasValue = true;
            break;
        }
    }
}

ParamCommand::~ParamCommand() {
    delete[] buffer;
}
