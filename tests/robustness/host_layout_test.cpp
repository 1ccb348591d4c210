// Records written the way the host writes them, byte by byte at the host's
// offsets, must read back through the script's handles. The host's layout is
// the 32-bit one (pointers at 8/12/16, details value at 132, parser fields at
// 0/4/132/136/140/144); other pointer widths keep the order and shift.
#include <gtest/gtest.h>
#include <zarn/param_command.h>
#include <zarn/zarn_script_helper.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t pointer = sizeof(void*);

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(ParamCommand, command) == 0 && offsetof(ParamCommand, subFields) == 4 &&
                  offsetof(ParamCommand, value) == 132 && offsetof(ParamCommand, subFieldCount) == 136 &&
                  offsetof(ParamCommand, hasValue) == 140 && offsetof(ParamCommand, buffer) == 144 &&
                  sizeof(ParamCommand) == 148,
              "the host's 32-bit parser layout");
static_assert(offsetof(ButtonEvent, panelId) == 8 && offsetof(ButtonEvent, controlId) == 12 &&
                  offsetof(ButtonEvent, details) == 16 && offsetof(ButtonEventDetails, value) == 132,
              "the host's 32-bit button event layout");
#endif

// Host-side offsets for this pointer width.
constexpr std::size_t panelIdAt = 8, controlIdAt = 8 + pointer, detailsAt = 8 + 2 * pointer;
constexpr std::size_t commandAt = 0, valueAt = 33 * pointer;
constexpr std::size_t deviceAt = 0, indexAt = 8, textAt = 16;

template <typename T>
void put(std::vector<unsigned char>& bytes, std::size_t at, T value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

TEST(host_layout, button_event_fields_are_read_at_the_host_offsets) {
    std::vector<unsigned char> details(valueAt + pointer, 0xEE);  // unread sub-field slots hold junk
    put(details, commandAt, "select");
    put(details, valueAt, "12");
    std::vector<unsigned char> event(detailsAt + pointer, 0xEE);
    put(event, panelIdAt, "1");
    put(event, controlIdAt, "Sources");
    put(event, detailsAt, static_cast<const void*>(details.data()));

    const ButtonEventHandle handle(reinterpret_cast<const ButtonEvent*>(event.data()));
    EXPECT_STREQ(handle.panelId(), "1");
    EXPECT_STREQ(handle.controlId(), "Sources");
    EXPECT_STREQ(handle.command(), "select");
    EXPECT_STREQ(handle.value(), "12");
}

TEST(host_layout, parsed_message_carries_command_and_value_where_button_details_do) {
    const ParamCommand parsed("myParam.a.b=x.y");
    const auto* bytes = reinterpret_cast<const unsigned char*>(&parsed);
    const char* command = nullptr;
    const char* value = nullptr;
    std::memcpy(&command, bytes + commandAt, pointer);
    std::memcpy(&value, bytes + valueAt, pointer);
    EXPECT_STREQ(command, "myParam");
    EXPECT_STREQ(value, "x.y");
    int32_t count = 0;
    std::memcpy(&count, bytes + 34 * pointer, sizeof count);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(bytes[34 * pointer + 4], 1);  // hasValue
}

TEST(host_layout, revertive_fields_are_read_at_the_host_offsets) {
    std::vector<unsigned char> record(textAt + 6, 0xEE);
    put<int32_t>(record, deviceAt, 3);
    put<int32_t>(record, indexAt, -40);
    std::memcpy(record.data() + textAt, "CAM 2", 6);
    // Only as long as the text: the record's size is the host's business.
    const RevertiveEventHandle handle(reinterpret_cast<const RevertiveEvent*>(record.data()));
    EXPECT_EQ(handle.device(), 3);
    EXPECT_EQ(handle.index(), -40);
    EXPECT_STREQ(handle.text(), "CAM 2");
}

}  // namespace
