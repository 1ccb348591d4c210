// Host records laid out as a host sends them, for driving a script through its callback.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "script_frame/zarn_client.h"

// A button event. Null texts and withDetails false build the malformed records a faulty host may send.
struct ButtonPress {
    explicit ButtonPress(const char* control, const char* command = "", const char* value = "",
                         const char* panelId = "1", bool withDetails = true) {
        for (const char*& field : details.subFields) field = "";
        details.command = command;
        details.value = value;
        event.reserved[0] = event.reserved[1] = -1;
        event.panelId = panelId;
        event.controlId = control;
        event.details = withDetails ? &details : nullptr;
    }
    ButtonPress(const ButtonPress&) = delete;
    ButtonPress& operator=(const ButtonPress&) = delete;

    void* data() { return &event; }

    ButtonEventDetails details{};
    ButtonEvent event{};
};

// A text as long as the record is cut to it and carries no NUL.
inline RevertiveEvent revertiveEvent(int32_t device, int32_t index, const std::string& text) {
    RevertiveEvent event{};
    event.device = device;
    event.reserved1 = event.reserved2 = -1;
    event.index = index;
    std::memcpy(event.text, text.data(), std::min(text.size(), sizeof event.text));
    return event;
}

// Timer ids and values travel in the pointer itself.
inline void* asPointer(std::intptr_t value) {
    return reinterpret_cast<void*>(value);
}
