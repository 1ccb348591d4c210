// ParamCommand on any text: at most 32 sub-fields, every slot readable and
// pointing into the copy or at the shared empty text, and the parts put back
// together with their separators give the input again.
#include <zarn/param_command.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "fuzz_input.h"

namespace {

// A slot points at the shared empty text or at a NUL-terminated part of the copy.
bool inCopy(const ParamCommand& parsed, const char* slot, std::size_t length) {
    if (slot == zarn_empty_text) return true;
    return parsed.buffer != nullptr && slot >= parsed.buffer && slot <= parsed.buffer + length;
}

bool holdsNone(const char* text, const char* bytes) {
    return std::strpbrk(text, bytes) == nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    // The first byte chooses a null text; everything else is the text itself,
    // cut at its first NUL as a C caller would see it.
    const bool nullText = in.byte() == 0;
    const std::string text = cText(in.rest());
    const ParamCommand parsed(nullText ? nullptr : text.c_str());
    const std::size_t length = nullText ? 0 : text.size();

    FUZZ_CHECK(parsed.subFieldCount >= 0 && parsed.subFieldCount <= ParamCommand::maxSubFields);
    FUZZ_CHECK((parsed.buffer == nullptr) == (length == 0));
    FUZZ_CHECK(inCopy(parsed, parsed.command, length));
    FUZZ_CHECK(inCopy(parsed, parsed.value, length));
    FUZZ_CHECK(parsed.hasValue || parsed.value == zarn_empty_text);
    for (int k = 0; k < ParamCommand::maxSubFields; ++k) {
        FUZZ_CHECK(inCopy(parsed, parsed.subFields[k], length));
        FUZZ_CHECK(k < parsed.subFieldCount || parsed.subFields[k] == zarn_empty_text);
        (void)std::strlen(parsed.subFields[k]);  // readable to its end
    }
    if (length == 0) {
        FUZZ_CHECK(parsed.command == zarn_empty_text && parsed.subFieldCount == 0 && !parsed.hasValue);
        return 0;
    }
    FUZZ_CHECK(parsed.command == parsed.buffer);

    // Separators end the command and every sub-field but the 32nd, which keeps
    // the rest of the text; the value keeps everything after the first "=".
    FUZZ_CHECK(holdsNone(parsed.command, ".="));
    const bool full = parsed.subFieldCount == ParamCommand::maxSubFields;
    for (int k = 0; k < parsed.subFieldCount; ++k) {
        if (!(full && k == parsed.subFieldCount - 1)) FUZZ_CHECK(holdsNone(parsed.subFields[k], ".="));
    }
    FUZZ_CHECK(!(full && parsed.hasValue));

    std::string joined = parsed.command;
    for (int k = 0; k < parsed.subFieldCount; ++k) joined += std::string(".") + parsed.subFields[k];
    if (parsed.hasValue) joined += std::string("=") + parsed.value;
    FUZZ_CHECK(joined == text);
    return 0;
}
