// Glow: commands byte for byte as a third-party consumer sends them, every
// element kind both ways in plain and qualified forms, and the decoder's
// handling of unknown, oversized and malformed input.
#include "bridges/codecs/ember_glow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ember = zarn_host::ember;
using ember::Element;
using ember::ElementKind;
using ember::GlowMessage;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes hex(const std::string& h) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < h.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(h.substr(i, 2), nullptr, 16)));
    return out;
}

// A TLV of one tag byte around its parts.
Bytes tlv(uint8_t tag, const std::vector<Bytes>& parts) {
    Bytes body;
    for (const Bytes& p : parts) body.insert(body.end(), p.begin(), p.end());
    Bytes out = {tag};
    if (body.size() >= 128) out.push_back(0x81);
    out.push_back(static_cast<uint8_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// A root of one element (its whole TLV).
Bytes rootOf(const Bytes& elementTlv) {
    return tlv(0x60, {tlv(0x6B, {tlv(0xA0, {elementTlv})})});
}

Element element(ElementKind kind, int32_t number, const char* identifier) {
    Element e;
    e.kind = kind;
    e.number = number;
    e.identifier = identifier;
    return e;
}

Element qualified(ElementKind kind, ember::Path path) {
    Element e;
    e.kind = kind;
    e.qualified = true;
    e.path = std::move(path);
    return e;
}

GlowMessage sampleTree() {
    Element matrix = element(ElementKind::matrix, 1, "sdi");
    matrix.matrixType = ember::MatrixType::one_to_n;
    matrix.addressingMode = ember::AddressingMode::linear;
    matrix.targetCount = 40;
    matrix.sourceCount = 1024;
    matrix.labels.push_back({{1, 1, 2}, "names"});
    matrix.targets = std::vector<int32_t>{0, 1, 39};
    matrix.sources = std::vector<int32_t>{0, 1023};
    ember::Connection c;
    c.target = 39;
    c.sources = {12};
    c.disposition = ember::ConnectionDisposition::modified;
    matrix.connections = std::vector<ember::Connection>{c, ember::Connection{3, {}, {}, {}}};

    Element text = element(ElementKind::parameter, 1, "text");
    text.value = ember::Value::ofString("Cam 4 \xC3\xA9");
    text.access = ember::Access::read;
    text.type = ember::ParameterType::string;
    Element level = element(ElementKind::parameter, 2, "level");
    level.value = ember::Value::ofReal(-12.5);
    level.minimum = ember::Value::ofInteger(-128);
    level.maximum = ember::Value::ofInteger(1LL << 40);
    level.enumeration = "off\non";
    level.isOnline = false;
    Element take = element(ElementKind::function, 3, "take");
    take.arguments = std::vector<ember::TupleItem>{{ember::ParameterType::integer, "bank"}};
    take.result = std::vector<ember::TupleItem>{};

    Element node = element(ElementKind::node, 1, "k7");
    node.description = "K7";
    node.isRoot = false;
    node.isOnline = true;
    node.children = std::vector<Element>{matrix, text, level, take};
    GlowMessage m;
    m.elements.push_back(node);
    Element q = qualified(ElementKind::matrix, {1, 1});
    q.connections = std::vector<ember::Connection>{{5, {7}, ember::ConnectionOperation::connect, {}}};
    m.elements.push_back(q);
    return m;
}

}  // namespace

TEST(EmberGlow, CommandsMatchAConsumersBytes) {
    struct Case {
        const char* name;
        GlowMessage message;
        const char* bytes;
    };
    Element gd = Element::makeCommand(ember::CommandType::get_directory);
    gd.dirFieldMask = 0xFFFFFFFFu;
    GlowMessage root;
    root.elements.push_back(gd);
    GlowMessage node;
    Element n = qualified(ElementKind::node, {1, 2});
    n.children = std::vector<Element>{gd};
    node.elements.push_back(n);
    const Case cases[] = {
        {"GetDirectory of the root", root, "60106b0ea00c620aa003020120a1030201ff"},
        {"GetDirectory of a qualified node", node, "601e6b1ca01a6a18a0040d020102a210640ea00c620aa003020120a1030201ff"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ember::encodeGlow(c.message), hex(c.bytes));
        const ember::GlowDecoded d = ember::decodeGlow(hex(c.bytes));
        ASSERT_TRUE(d.ok()) << d.error;
        EXPECT_TRUE(d.notes.empty());
        EXPECT_EQ(ember::encodeGlow(d.message), hex(c.bytes));
    }
}

TEST(EmberGlow, EveryKindComesBack) {
    const GlowMessage m = sampleTree();
    const Bytes bytes = ember::encodeGlow(m);
    const ember::GlowDecoded d = ember::decodeGlow(bytes);
    ASSERT_TRUE(d.ok()) << d.error;
    EXPECT_TRUE(d.notes.empty());
    EXPECT_EQ(ember::encodeGlow(d.message), bytes);
    ASSERT_EQ(d.message.elements.size(), 2u);
    const Element& node = d.message.elements[0];
    EXPECT_EQ(node.identifier, "k7");
    ASSERT_TRUE(node.children && node.children->size() == 4);
    const Element& matrix = (*node.children)[0];
    EXPECT_EQ(matrix.kind, ElementKind::matrix);
    EXPECT_EQ(matrix.sourceCount, 1024);
    ASSERT_EQ(matrix.labels.size(), 1u);
    EXPECT_EQ(matrix.labels[0].basePath, (ember::Path{1, 1, 2}));
    ASSERT_TRUE(matrix.connections && matrix.connections->size() == 2);
    EXPECT_EQ((*matrix.connections)[0].sources, std::vector<uint32_t>{12});
    EXPECT_TRUE((*matrix.connections)[1].sources.empty());
    EXPECT_EQ((*node.children)[1].value, ember::Value::ofString("Cam 4 \xC3\xA9"));
    EXPECT_EQ((*node.children)[2].maximum, ember::Value::ofInteger(1LL << 40));
    EXPECT_EQ((*node.children)[3].arguments->at(0).name, "bank");
    EXPECT_EQ(d.message.elements[1].path, (ember::Path{1, 1}));
    EXPECT_EQ((*d.message.elements[1].connections)[0].operation, ember::ConnectionOperation::connect);

    GlowMessage invoke;
    Element q = qualified(ElementKind::function, {1, 3});
    Element cmd = Element::makeCommand(ember::CommandType::invoke);
    cmd.invocation = ember::Invocation{7, {ember::Value::ofInteger(2), ember::Value::ofBoolean(true)}};
    q.children = std::vector<Element>{cmd};
    invoke.elements.push_back(q);
    GlowMessage result;
    result.invocationResult = ember::InvocationResult{7, false, {ember::Value::ofString("locked")}};
    for (const GlowMessage& x : {invoke, result}) {
        const Bytes b = ember::encodeGlow(x);
        const ember::GlowDecoded back = ember::decodeGlow(b);
        ASSERT_TRUE(back.ok()) << back.error;
        EXPECT_EQ(ember::encodeGlow(back.message), b);
    }
    const ember::GlowDecoded back = ember::decodeGlow(ember::encodeGlow(result));
    EXPECT_FALSE(back.message.invocationResult->success);
}

TEST(EmberGlow, IndefiniteLengthsAsSomePeersSendThem) {
    // A root GetDirectory with every length indefinite.
    const ember::GlowDecoded d = ember::decodeGlow(hex("60806b80a0806280a0030201200000000000000000"));
    ASSERT_TRUE(d.ok()) << d.error;
    ASSERT_EQ(d.message.elements.size(), 1u);
    EXPECT_EQ(d.message.elements[0].command, ember::CommandType::get_directory);
}

TEST(EmberGlow, UnknownPartsAreSkippedWithANote) {
    // A template (APPLICATION 24) beside a node with an unknown field [9]
    // and an unknown contents field [7].
    const Bytes node =
        tlv(0x63, {hex("a003020101"), tlv(0xA1, {tlv(0x31, {hex("a7050c03616263")})}), hex("a903020105")});
    const Bytes in = tlv(0x60, {tlv(0x6B, {tlv(0xA0, {hex("7802a000")}), tlv(0xA0, {node})})});
    const ember::GlowDecoded d = ember::decodeGlow(in);
    ASSERT_TRUE(d.ok()) << d.error;
    ASSERT_EQ(d.message.elements.size(), 1u);
    EXPECT_EQ(d.message.elements[0].number, 1);
    EXPECT_EQ(d.notes.size(), 3u);
}

TEST(EmberGlow, BadMessagesAreRefused) {
    Bytes deep;
    {
        Element e = element(ElementKind::node, 1, "n");
        for (int i = 0; i < ember::kMaxElementDepth + 2; ++i) {
            Element parent = element(ElementKind::node, 1, "n");
            parent.children = std::vector<Element>{e};
            e = parent;
        }
        GlowMessage m;
        m.elements.push_back(e);
        deep = ember::encodeGlow(m);
    }
    const Bytes hugeTarget =
        tlv(0x6D, {hex("a003020101"), tlv(0xA3, {tlv(0x30, {tlv(0xA0, {tlv(0x6E, {hex("a007020501000000"
                                                                                      "00")})})})})});
    struct Case {
        const char* name;
        Bytes input;
    };
    const Case cases[] = {
        {"empty", {}},
        {"not a root", hex("6100")},
        {"length past the data", hex("60106b0ea00c620aa003020120a1030201")},
        {"a target number over 32 bits", rootOf(hugeTarget)},
        {"a node number over 32 bits", rootOf(tlv(0x63, {hex("a00902070100000000000000")}))},
        {"a number of nine bytes", rootOf(tlv(0x63, {hex("a00b0209010000000000000000")}))},
        {"a text field holding an integer",
         rootOf(tlv(0x63, {hex("a003020101"), tlv(0xA1, {tlv(0x31, {hex("a003020101")})})}))},
        {"a path cut short", rootOf(tlv(0x6A, {hex("a0030d0181")}))},
        {"elements nested too deep", deep},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ember::GlowDecoded d = ember::decodeGlow(c.input);
        EXPECT_FALSE(d.ok());
        EXPECT_FALSE(d.error.empty());
        EXPECT_TRUE(d.message.elements.empty());
    }
}
