// A host-side button event for panel "1", as the host lays it out.
#pragma once

#include "script_frame/zarn_client.h"

struct ButtonPress {
    // Null texts and withDetails false build the malformed records a faulty host may send.
    explicit ButtonPress(const char* control, const char* command = "", const char* value = "",
                         bool withDetails = true) {
        for (const char*& field : details.subFields) field = "";
        details.command = command;
        details.value = value;
        event.panelId = "1";
        event.controlId = control;
        event.details = withDetails ? &details : nullptr;
    }
    ButtonPress(const ButtonPress&) = delete;
    ButtonPress& operator=(const ButtonPress&) = delete;

    void* data() { return &event; }

    ButtonEventDetails details{};
    ButtonEvent event{};
};
