// The Glow decoder: any bytes decode to a message or an error, never a crash
// or a hang; a message that decodes encodes to bytes that decode to the same
// encoding (what it skipped is gone, nothing else changes).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "bridges/codecs/ember_glow.h"
#include "fuzz_check.h"

namespace ember = zarn_host::ember;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const ember::GlowDecoded d = ember::decodeGlow(data, size);
    if (!d.ok()) {
        FUZZ_CHECK(d.message.elements.empty() && !d.message.invocationResult);
        return 0;
    }
    const std::vector<uint8_t> bytes = ember::encodeGlow(d.message);
    const ember::GlowDecoded again = ember::decodeGlow(bytes);
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(again.notes.empty());
    FUZZ_CHECK(ember::encodeGlow(again.message) == bytes);
    return 0;
}
