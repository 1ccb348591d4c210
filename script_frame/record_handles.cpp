// Readers of the host records. The host is trusted for nothing: a null record
// or a null text reads as empty (0 for integers). A revertive text is read up
// to its NUL, whatever its length: the host sizes the record to hold it.
#include <zarn/zarn_script_helper.h>

namespace {

zarn_string copyText(const char* text) {
    return text ? zarn_string(text) : zarn_string();
}

}  // namespace

zarn_string ButtonEventHandle::panelId() const {
    return event_ ? copyText(event_->panelId) : zarn_string();
}

zarn_string ButtonEventHandle::controlId() const {
    return event_ ? copyText(event_->controlId) : zarn_string();
}

zarn_string ButtonEventHandle::command() const {
    return event_ && event_->details ? copyText(event_->details->command) : zarn_string();
}

zarn_string ButtonEventHandle::value() const {
    return event_ && event_->details ? copyText(event_->details->value) : zarn_string();
}

zarn_string ParamCommandHandle::command() const {
    return message_ ? copyText(message_->command) : zarn_string();
}

zarn_string ParamCommandHandle::value() const {
    return message_ ? copyText(message_->value) : zarn_string();
}
