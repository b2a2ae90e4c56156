#include "support/json.h"

#include <gtest/gtest.h>

#include <string>

namespace QuickKit {
namespace {

JsonNode ObjectWith(std::initializer_list<JsonNode> members) {
  JsonNode object(JsonObject);
  for (const JsonNode& m : members) object.Append(m);
  return object;
}

TEST(JsonWriter, ObjectWithOneStringMemberIsThreeLines) {
  EXPECT_EQ(ObjectWith({JsonNode("id", "Device")}).WriteFormatted(), "{\n\t\"id\" : \"Device\"\n}");
}

TEST(JsonWriter, EmptyContainersHaveNothingBetweenTheBrackets) {
  EXPECT_EQ(JsonNode(JsonArray).WriteFormatted(), "[]");
  EXPECT_EQ(JsonNode(JsonObject).WriteFormatted(), "{}");
  JsonNode outer(JsonObject);
  JsonNode inner(JsonArray);
  inner.SetName("areas");
  outer.Append(inner);
  EXPECT_EQ(outer.WriteFormatted(), "{\n\t\"areas\" : []\n}");
  EXPECT_EQ(outer.WriteCompact(), "{\"areas\":[]}");
}

TEST(JsonWriter, ArrayOfObjectsIndentsPerLevelWithCommaAfterTheBrace) {
  JsonNode array(JsonArray);
  array.Append(ObjectWith({JsonNode("id", "a"), JsonNode("state", 1)}));
  array.Append(ObjectWith({JsonNode("id", "b"), JsonNode("state", 0)}));
  EXPECT_EQ(array.WriteFormatted(),
            "[\n"
            "\t{\n\t\t\"id\" : \"a\",\n\t\t\"state\" : 1\n\t},\n"
            "\t{\n\t\t\"id\" : \"b\",\n\t\t\"state\" : 0\n\t}\n"
            "]");
  EXPECT_EQ(array.WriteCompact(), "[{\"id\":\"a\",\"state\":1},{\"id\":\"b\",\"state\":0}]");
}

TEST(JsonWriter, ScalarRootsWriteNothing) {
  EXPECT_EQ(JsonNode("x", "text").WriteFormatted(), "");
  EXPECT_EQ(JsonNode("x", 5).WriteFormatted(), "");
  EXPECT_EQ(JsonNode().WriteFormatted(), "");
  EXPECT_EQ(JsonNode::MakeBool("b", true).WriteCompact(), "");
  // Only containers can be made empty: another type gives a null.
  EXPECT_EQ(JsonNode(JsonString).Type(), JsonNull);
}

TEST(JsonWriter, ScalarKindsAndIntegerText) {
  const struct {
    JsonNode node;
    const char* text;
  } cases[] = {
      {JsonNode("n", -15), "-15"},
      {JsonNode("n", 0), "0"},
      {JsonNode("n", 7), "7"},
      {JsonNode("n", 2147483647), "2147483647"},
      {JsonNode("n", -2147483647 - 1), "-2147483648"},
      {JsonNode::MakeBool("n", true), "true"},
      {JsonNode::MakeBool("n", false), "false"},
      {JsonNode::MakeNull("n"), "null"},
  };
  for (const auto& c : cases) {
    JsonNode array(JsonArray);
    array.Append(c.node);
    EXPECT_EQ(array.WriteCompact(), std::string("[") + c.text + "]") << c.text;
  }
  EXPECT_EQ(JsonNode("n", -15).NumericValue(), -15.0);
  EXPECT_EQ(JsonNode("n", -15).ValueText(), "-15");
}

TEST(JsonWriter, EscapingIsPureAsciiPerUtf16CodeUnit) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"a/b", "a\\/b"},
      {"caf\xC3\xA9", "caf\\u00E9"},
      {"\b\t\n\f\r", "\\b\\t\\n\\f\\r"},
      {"q\"b\\", "q\\\"b\\\\"},
      {"\x01\x1F", "\\u0001\\u001F"},
      {"\x7F", "\\u007F"},
      {" ~", " ~"},
      {"\xD0\x96", "\\u0416"},                 // Cyrillic
      {"\xF0\x9F\x98\x80", "\\uD83D\\uDE00"},  // outside the basic plane: a surrogate pair
      {"\xEF\xBF\xBF", "\\uFFFF"},
      {"bad\xFFx", "bad\\uFFFDx"},  // a stray byte cannot pass through raw
      {"\xC3", "\\uFFFD"},          // nor can a cut-off sequence
  };
  for (const auto& c : cases) {
    std::string out;
    AppendJsonEscaped(out, c.in);
    EXPECT_EQ(out, c.out) << c.in;
  }
  // The characters U+0000 are kept, not cut off.
  std::string out;
  AppendJsonEscaped(out, std::string_view("a\0b", 3));
  EXPECT_EQ(out, "a\\u0000b");
}

TEST(JsonWriter, NamesAreEscapedToo) {
  EXPECT_EQ(ObjectWith({JsonNode("a/\xC3\xA9", 1)}).WriteCompact(), "{\"a\\/\\u00E9\":1}");
}

TEST(JsonWriter, DeepNestingIndentsOneTabPerLevel) {
  // Past the prebuilt indents (0..23) the text must go on the same way.
  constexpr int kDepth = 30;
  JsonNode node(JsonArray);
  node.Append(JsonNode("", 1));
  for (int i = 1; i < kDepth; ++i) {
    JsonNode outer(JsonArray);
    outer.Append(node);
    node = outer;
  }
  const std::string text = node.WriteFormatted();
  std::string expectedInner =
      "\n" + std::string(kDepth, '\t') + "1\n" + std::string(kDepth - 1, '\t') + "]";
  EXPECT_NE(text.find(expectedInner), std::string::npos);
  EXPECT_EQ(text.front(), '[');
  EXPECT_EQ(text.back(), ']');
}

TEST(JsonNode, MembersKeepInsertionOrderAndDuplicates) {
  EXPECT_EQ(ObjectWith({JsonNode("z", 1), JsonNode("a", 2), JsonNode("z", 3)}).WriteCompact(),
            "{\"z\":1,\"a\":2,\"z\":3}");
}

TEST(JsonNode, AppendToAScalarDoesNothing) {
  JsonNode text("t", "x");
  text.Append(JsonNode("u", 1));
  EXPECT_EQ(text.ChildCount(), 0u);
}

TEST(JsonNode, CopiesShareUntilOneChanges) {
  JsonNode original(JsonArray);
  original.Append(JsonNode("", 1));
  JsonNode copy = original;
  EXPECT_EQ(original.ShareCount(), 2);

  copy.Append(JsonNode("", 2));  // copy on write: the original stays as it was
  EXPECT_EQ(original.ShareCount(), 1);
  EXPECT_EQ(copy.ShareCount(), 1);
  EXPECT_EQ(original.WriteCompact(), "[1]");
  EXPECT_EQ(copy.WriteCompact(), "[1,2]");

  // A child appended to two parents is shared; renaming it through one
  // handle does not reach the trees that hold it.
  JsonNode child("name", "v");
  JsonNode a(JsonObject), b(JsonObject);
  a.Append(child);
  b.Append(child);
  EXPECT_EQ(child.ShareCount(), 3);
  child.SetName("other");
  EXPECT_EQ(a.WriteCompact(), "{\"name\":\"v\"}");
  EXPECT_EQ(b.Child(0).Name(), "name");
}

std::string ParseError(std::string_view text) {
  JsonNode root;
  std::string error;
  EXPECT_FALSE(JsonNode::Parse(text, &root, &error)) << text;
  return error;
}

TEST(JsonParser, StringsKeepEveryCharacter) {
  const struct {
    const char* json;
    std::string text;
  } cases[] = {
      {R"("a\u0000b")", std::string("a\0b", 3)},  // not cut at U+0000
      {R"("\"\\\/\b\f\n\r\t")", "\"\\/\b\f\n\r\t"},
      {R"("caf\u00e9 \u00C9")", "caf\xC3\xA9 \xC3\x89"},
      {"\"caf\xC3\xA9 \xF0\x9F\x98\x80\"", "caf\xC3\xA9 \xF0\x9F\x98\x80"},  // raw UTF-8
      {R"("\uD83D\uDE00")", "\xF0\x9F\x98\x80"},                             // a surrogate pair
      {R"("x\uD83Dy")", "x\xEF\xBF\xBDy"},  // a high surrogate alone becomes U+FFFD
      {R"("\uDE00")", "\xEF\xBF\xBD"},      // and so does a low one
      {R"("\uD83D\u0041")",
       "\xEF\xBF\xBD"
       "A"},  // and the next escape still counts
      {R"("")", ""},
  };
  for (const auto& c : cases) {
    JsonNode root;
    std::string error;
    ASSERT_TRUE(JsonNode::Parse(c.json, &root, &error)) << c.json << ": " << error;
    EXPECT_EQ(root.Type(), JsonString) << c.json;
    EXPECT_EQ(root.ValueText(), c.text) << c.json;
  }
}

TEST(JsonParser, WriterOutputReadsBackToTheSameText) {
  std::string text("nul\0 tab\t quote\" slash/ back\\ ", 31);
  text += "\xC3\xA9\xE2\x80\xA8\xF0\x9F\x98\x80";  // e acute, U+2028, an emoji
  text += std::string(70000, 'x');
  JsonNode array(JsonArray);
  array.Append(JsonNode("", text));
  array.Append(JsonNode("", -2147483647 - 1));
  JsonNode root;
  ASSERT_TRUE(JsonNode::Parse(array.WriteCompact(), &root));
  ASSERT_EQ(root.ChildCount(), 2u);
  EXPECT_TRUE(root.Child(0).ValueText() == text);  // not EXPECT_EQ: 70 KB on failure
  EXPECT_EQ(root.Child(1).NumericValue(), -2147483648.0);
}

TEST(JsonParser, ContainersScalarsAndNumbers) {
  JsonNode root;
  ASSERT_TRUE(JsonNode::Parse(
      " {\"z\" : [1, -0.5, 2e3, true, false, null, {}], \"a\":\"x\", \"z\":[]}\n\t", &root));
  ASSERT_EQ(root.Type(), JsonObject);
  ASSERT_EQ(root.ChildCount(), 3u);
  EXPECT_EQ(root.Child(0).Name(), "z");
  EXPECT_EQ(root.Child(2).Name(), "z");  // duplicates kept, in order
  const JsonNode& list = root.Child(0);
  ASSERT_EQ(list.ChildCount(), 7u);
  EXPECT_EQ(list.Child(0).NumericValue(), 1.0);
  EXPECT_EQ(list.Child(1).NumericValue(), -0.5);
  EXPECT_EQ(list.Child(2).ValueText(), "2e3");  // the number's text as written
  EXPECT_EQ(list.Child(2).NumericValue(), 2000.0);
  EXPECT_EQ(list.Child(3).Type(), JsonBool);
  EXPECT_EQ(list.Child(4).NumericValue(), 0.0);
  EXPECT_EQ(list.Child(5).Type(), JsonNull);
  EXPECT_EQ(list.Child(6).Type(), JsonObject);
  EXPECT_EQ(root.WriteCompact(), "{\"z\":[1,-0.5,2e3,true,false,null,{}],\"a\":\"x\",\"z\":[]}");
  ASSERT_TRUE(JsonNode::Parse("7", &root));  // any value may be the root
  EXPECT_EQ(root.Type(), JsonNumber);
}

TEST(JsonParser, RefusesWhatIsNotStrictJson) {
  const char* const bad[] = {
      "",
      "  ",
      "[1,]",
      "{\"a\":1,}",
      "[1 2]",
      "{\"a\" 1}",
      "{a:1}",
      "[01]",
      "[1.]",
      "[.5]",
      "[1e]",
      "[+1]",
      "[-]",
      "[1e999]",
      "[NaN]",
      "[tru]",
      "nul",
      "'x'",
      "[\"a\tb\"]",
      "[\"\\x41\"]",
      "[\"\\u12G4\"]",
      "[\"open]",
      "[1] [2]",
      "[1] x",
      "/*c*/[1]",
      "[\"\xFF\"]",
      "[\"\xC3\"]",
      "{\"\xED\xA0\x80\":1}",
      "[1",
      "{",
  };
  for (const char* text : bad) EXPECT_FALSE(ParseError(text).empty()) << text;
  EXPECT_EQ(ParseError("[1,]"), "unexpected character at offset 3");
  // The raw NUL inside the text (not the escape) is a control character.
  EXPECT_EQ(ParseError(std::string_view("[\"a\0\"]", 6)),
            "control character in a string at offset 3");
}

TEST(JsonParser, NestingHasALimit) {
  const auto nested = [](int depth) {
    return std::string(static_cast<std::size_t>(depth), '[') +
           std::string(static_cast<std::size_t>(depth), ']');
  };
  JsonNode root;
  EXPECT_TRUE(JsonNode::Parse(nested(JsonNode::kMaxParseDepth), &root));
  EXPECT_EQ(ParseError(nested(JsonNode::kMaxParseDepth + 1)),
            "nesting too deep at offset " + std::to_string(JsonNode::kMaxParseDepth));
  // Far deeper than the stack would allow without the limit.
  EXPECT_FALSE(JsonNode::Parse(nested(1000000), &root));
}

}  // namespace
}  // namespace QuickKit
