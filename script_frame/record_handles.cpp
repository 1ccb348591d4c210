// Readers of the host records. The host is trusted for nothing: a null record
// or a null text reads as empty (0 for integers), and a revertive text is read
// only within the record, so an unterminated text cannot be over-read.
#include <cstring>

#include "script_frame/zarn_script_helper.h"

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

int32_t RevertiveEventHandle::device() const {
    return event_ ? event_->device : 0;
}

int32_t RevertiveEventHandle::index() const {
    return event_ ? event_->index : 0;
}

zarn_string RevertiveEventHandle::text() const {
    if (!event_) return zarn_string();
    const std::size_t limit = zarn_revertive_text_capacity - 1;
    const void* end = std::memchr(event_->text, '\0', limit);
    const std::size_t length = end ? static_cast<std::size_t>(static_cast<const char*>(end) - event_->text) : limit;
    return zarn_string(event_->text, length);
}

zarn_string ParamCommandHandle::command() const {
    return message_ ? copyText(message_->command) : zarn_string();
}

zarn_string ParamCommandHandle::value() const {
    return message_ ? copyText(message_->value) : zarn_string();
}
