// Host records laid out as a host sends them, for driving a script through its callback.
#pragma once

#include <zarn/button_record.h>
#include <zarn/revertive_record.h>
#include <zarn/zarn_client.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

// A button event; the reserved fields hold junk, as a host may leave them.
// Null texts and withDetails false build the malformed records a faulty host
// may send.
struct ButtonPress {
    explicit ButtonPress(const char* control, const char* command = "", const char* value = "",
                         const char* panelId = "1", bool withDetails = true)
        : record(orEmpty(panelId), orEmpty(control), orEmpty(command), orEmpty(value)) {
        ButtonEvent& event = *record.event();
        event.reserved[0] = event.reserved[1] = -1;
        if (!panelId) event.panelId = nullptr;
        if (!control) event.controlId = nullptr;
        if (!command) record.details()->command = nullptr;
        if (!value) record.details()->value = nullptr;
        if (!withDetails) event.details = nullptr;
    }

    void* data() { return record.event(); }

    zarn_button_record record;

private:
    static const char* orEmpty(const char* text) { return text ? text : ""; }
};

// The reserved fields hold junk, as a host may leave them.
inline zarn_revertive_record revertiveEvent(int32_t device, int32_t index, const std::string& text) {
    zarn_revertive_record record(device, index, text);
    record.event()->reserved1 = record.event()->reserved2 = -1;
    return record;
}

// Timer ids and values travel in the pointer itself.
inline void* asPointer(std::intptr_t value) {
    return reinterpret_cast<void*>(value);
}
