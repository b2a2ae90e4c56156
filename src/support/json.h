// JSON values and the writer for the documents handed to the page.
//
// A JsonNode is a handle: copies share the node's internals, and a node
// that is shared is copied before it changes (copy on write). Text is
// UTF-8; the writer's output is pure ASCII, every character outside
// U+0020..U+007E escaped per UTF-16 code unit. Not thread-safe: a tree is
// built and written on one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace QuickKit {

enum JsonType : std::uint8_t {
  JsonNull = 0,
  JsonString = 1,
  JsonNumber = 2,
  JsonBool = 3,
  JsonArray = 4,
  JsonObject = 5,
};

class JsonNode {
 public:
  // An unnamed null.
  JsonNode();
  // An empty container; any other type gives a null.
  explicit JsonNode(JsonType containerType);
  // A named string.
  JsonNode(std::string_view name, std::string_view text);
  // A named number.
  JsonNode(std::string_view name, std::int32_t value);

  static JsonNode MakeBool(std::string_view name, bool value);
  static JsonNode MakeNull(std::string_view name);

  JsonType Type() const;
  const std::string& Name() const;
  const std::string& ValueText() const;
  double NumericValue() const;
  std::size_t ChildCount() const;
  const JsonNode& Child(std::size_t index) const;
  // How many handles share this node's internals.
  long ShareCount() const;

  void SetName(std::string_view name);
  // Appends a child (shared, not copied) to an array or object; does
  // nothing for any other type.
  void Append(const JsonNode& child);

  // Tabs for indentation, `" : "` between name and value, LF line ends.
  // Only an array or object root is written; any other root gives "".
  std::string WriteFormatted() const;
  // The same without line breaks and indentation, `":` between name and value.
  std::string WriteCompact() const;

  // Reads one JSON text (RFC 8259) strictly: any value at the root,
  // whitespace around it and nothing else; no comments, trailing commas,
  // leading zeros, unescaped control characters or bytes that are not
  // UTF-8. Strings are decoded to UTF-8 and keep every character, U+0000
  // included; an escaped surrogate without its partner becomes U+FFFD.
  // Numbers keep their text as written (ValueText) and their value as a
  // double (NumericValue). Object members become named children, in order,
  // duplicates kept. Nesting deeper than kMaxParseDepth is refused. On
  // failure returns false and, when error is given, says what and where
  // (byte offset).
  static constexpr int kMaxParseDepth = 256;
  static bool Parse(std::string_view text, JsonNode* root, std::string* error = nullptr);

 private:
  struct Internals;

  class Parser;

  explicit JsonNode(std::shared_ptr<Internals> internals);
  void MakeUnique();
  void Write(std::string& out, int depth, bool formatted, bool named) const;

  std::shared_ptr<Internals> m_internals;
};

// Appends text as the inside of a JSON string: the short escapes, "\/",
// and \uXXXX for every other UTF-16 code unit outside U+0020..U+007E. A
// byte that is not valid UTF-8 is written as \uFFFD.
void AppendJsonEscaped(std::string& out, std::string_view text);

}  // namespace QuickKit
