// Glow, the Ember+ tree's messages: nodes, parameters, matrices (their
// targets, sources, connections and labels), functions, and the commands
// GetDirectory, Subscribe, Unsubscribe and Invoke, in their plain (number,
// nested under their parent) and qualified (whole path) forms, and the
// result of an invocation.
//
// One Element struct for every kind: `kind` says which fields count, and
// each optional field is sent only when set. encodeGlow gives a whole
// message (the payload S101 frames); decodeGlow reads one, skipping
// elements and fields it does not know (each noted) and refusing bad BER.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zarn_host::ember {

using Path = std::vector<uint32_t>;

enum class ElementKind : uint8_t { node, parameter, matrix, function, command };

// The application tags of Glow's types.
enum GlowTag : uint32_t {
    kRoot = 0,
    kParameter = 1,
    kCommand = 2,
    kNode = 3,
    kElementCollection = 4,
    kQualifiedParameter = 9,
    kQualifiedNode = 10,
    kRootElementCollection = 11,
    kMatrix = 13,
    kTarget = 14,
    kSource = 15,
    kConnection = 16,
    kQualifiedMatrix = 17,
    kLabel = 18,
    kFunction = 19,
    kQualifiedFunction = 20,
    kTupleItemDescription = 21,
    kInvocation = 22,
    kInvocationResult = 23,
};

enum class CommandType : int32_t { subscribe = 30, unsubscribe = 31, get_directory = 32, invoke = 33 };
enum class ParameterType : int32_t {
    none = 0,
    integer = 1,
    real = 2,
    string = 3,
    boolean = 4,
    trigger = 5,
    enumeration = 6,
    octets = 7
};
enum class Access : int32_t { none = 0, read = 1, write = 2, read_write = 3 };
enum class MatrixType : int32_t { one_to_n = 0, one_to_one = 1, n_to_n = 2 };
enum class AddressingMode : int32_t { linear = 0, non_linear = 1 };
enum class ConnectionOperation : int32_t { absolute = 0, connect = 1, disconnect = 2 };
enum class ConnectionDisposition : int32_t { tally = 0, modified = 1, pending = 2, locked = 3 };

struct Value {
    enum class Kind : uint8_t { integer, real, string, boolean, octets, null };
    Kind kind = Kind::null;
    int64_t integer = 0;
    double real = 0;
    bool boolean = false;
    std::string text;  // string, or octets' bytes

    static Value ofInteger(int64_t v) { return {Kind::integer, v, 0, false, {}}; }
    static Value ofString(std::string s) { return {Kind::string, 0, 0, false, std::move(s)}; }
    static Value ofBoolean(bool b) { return {Kind::boolean, 0, 0, b, {}}; }
    static Value ofReal(double r) { return {Kind::real, 0, r, false, {}}; }
    bool operator==(const Value& o) const;
    bool operator!=(const Value& o) const { return !(*this == o); }
};

struct Label {
    Path basePath;
    std::string description;
};

struct Connection {
    int32_t target = 0;
    std::vector<uint32_t> sources;
    std::optional<ConnectionOperation> operation;
    std::optional<ConnectionDisposition> disposition;
};

struct TupleItem {
    ParameterType type = ParameterType::none;
    std::string name;
};

struct Invocation {
    std::optional<int32_t> id;
    std::vector<Value> arguments;
};

struct InvocationResult {
    int32_t id = 0;
    bool success = true;
    std::vector<Value> result;
};

struct Element {
    ElementKind kind = ElementKind::node;
    // Qualified: path is the whole path. Plain: number is this element's
    // number under its parent (path stays empty).
    bool qualified = false;
    Path path;
    int32_t number = 0;

    // Contents of every kind but command.
    std::optional<std::string> identifier;
    std::optional<std::string> description;
    // Node.
    std::optional<bool> isRoot;
    std::optional<bool> isOnline;
    // Parameter.
    std::optional<Value> value;
    std::optional<Value> minimum;
    std::optional<Value> maximum;
    std::optional<Access> access;
    std::optional<ParameterType> type;
    std::optional<std::string> enumeration;  // entries separated by newlines
    // Matrix.
    std::optional<MatrixType> matrixType;
    std::optional<AddressingMode> addressingMode;
    std::optional<int32_t> targetCount;
    std::optional<int32_t> sourceCount;
    std::vector<Label> labels;
    std::optional<std::vector<int32_t>> targets;
    std::optional<std::vector<int32_t>> sources;
    std::optional<std::vector<Connection>> connections;
    // Function.
    std::optional<std::vector<TupleItem>> arguments;
    std::optional<std::vector<TupleItem>> result;
    // Command.
    CommandType command = CommandType::get_directory;
    std::optional<uint32_t> dirFieldMask;
    std::optional<Invocation> invocation;

    std::optional<std::vector<Element>> children;

    static Element makeCommand(CommandType c) {
        Element e;
        e.kind = ElementKind::command;
        e.command = c;
        return e;
    }
    bool hasContents() const;
};

struct GlowMessage {
    std::vector<Element> elements;
    std::optional<InvocationResult> invocationResult;
};

// Deepest nesting of elements (children of children...) decodeGlow takes.
inline constexpr int kMaxElementDepth = 12;

std::vector<uint8_t> encodeGlow(const GlowMessage& message);

struct GlowDecoded {
    GlowMessage message;
    std::string error;               // empty when the message was read
    std::vector<std::string> notes;  // what was skipped, one line each
    bool ok() const { return error.empty(); }
};
GlowDecoded decodeGlow(const uint8_t* data, std::size_t size);
inline GlowDecoded decodeGlow(const std::vector<uint8_t>& bytes) {
    return decodeGlow(bytes.data(), bytes.size());
}

}  // namespace zarn_host::ember
