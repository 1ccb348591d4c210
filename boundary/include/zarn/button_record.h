/// \file
/// Builds the record of a type-2 notification for hosts, test hosts and fuzzers.
#pragma once

#include <zarn/zarn_client.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

/// A ButtonEvent with its ButtonEventDetails, holding copies of every text it
/// points to, so the pointers stay valid as long as this object. It neither
/// copies nor moves (the record points into itself); a function may still
/// return one by value. Short texts are kept inside the object, so a record
/// of short texts costs no allocation.
///
/// event() and details() give the record itself: a host sending malformed
/// records may change or null any field afterwards.
class zarn_button_record {
public:
    /// A press without details: the details pointer is null.
    zarn_button_record(std::string_view panelId, std::string_view controlId)
        : panelId_(panelId), controlId_(controlId) {
        point(false);
    }
    /// A press with details: command and value; every sub-field is the empty text.
    zarn_button_record(std::string_view panelId, std::string_view controlId, std::string_view command,
                       std::string_view value)
        : panelId_(panelId), controlId_(controlId), command_(command), value_(value) {
        point(true);
    }
    /// A press with details and sub-fields: the first 32 of subFields fill
    /// the sub-fields in order, the rest are the empty text.
    zarn_button_record(std::string_view panelId, std::string_view controlId, std::string_view command,
                       std::initializer_list<std::string_view> subFields, std::string_view value)
        : zarn_button_record(panelId, controlId, command, value) {
        // One text holds them all, each followed by a NUL; pointed into once built.
        std::size_t ends[maxSubFields];
        std::size_t count = 0;
        for (std::string_view field : subFields) {
            if (count == maxSubFields) break;
            subFieldText_.append(field.data(), field.size()).push_back('\0');
            ends[count++] = subFieldText_.size();
        }
        for (std::size_t i = 0; i < count; ++i) {
            details_.subFields[i] = subFieldText_.c_str() + (i == 0 ? 0 : ends[i - 1]);
        }
    }
    zarn_button_record(const zarn_button_record&) = delete;
    zarn_button_record& operator=(const zarn_button_record&) = delete;

    /// The record to pass with type 2.
    ButtonEvent* event() { return &event_; }
    /// The record to pass with type 2.
    const ButtonEvent* event() const { return &event_; }
    /// The details the record points to when it has details.
    ButtonEventDetails* details() { return &details_; }
    /// The details the record points to when it has details.
    const ButtonEventDetails* details() const { return &details_; }

private:
    static constexpr std::size_t maxSubFields = sizeof(ButtonEventDetails::subFields) / sizeof(const char*);

    void point(bool withDetails) {
        for (const char*& field : details_.subFields) field = "";
        details_.command = command_.c_str();
        details_.value = value_.c_str();
        event_.panelId = panelId_.c_str();
        event_.controlId = controlId_.c_str();
        event_.details = withDetails ? &details_ : nullptr;
    }

    std::string panelId_;
    std::string controlId_;
    std::string command_;
    std::string value_;
    std::string subFieldText_;
    ButtonEventDetails details_{};
    ButtonEvent event_{};
};
