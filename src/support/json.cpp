#include "support/json.h"

#include <array>
#include <charconv>

#include "support/ascii.h"
#include "support/text.h"

namespace QuickKit {

struct JsonNode::Internals {
  JsonType type = JsonNull;
  std::string name;
  bool nameNeedsEscaping = true;
  std::string valueText;
  bool valueNeedsEscaping = true;
  double numericValue = 0;
  bool complete = true;
  std::string comment;
  std::vector<JsonNode> children;
};

namespace {

constexpr std::size_t kInitialChildCapacity = 8;
constexpr std::size_t kReservedOutput = 2048;
constexpr int kPrebuiltIndents = 24;

const std::string& Indent(int depth, std::string& scratch) {
  static const std::array<std::string, kPrebuiltIndents> prebuilt = [] {
    std::array<std::string, kPrebuiltIndents> indents;
    for (int i = 0; i < kPrebuiltIndents; ++i)
      indents[static_cast<std::size_t>(i)].assign(static_cast<std::size_t>(i), '\t');
    return indents;
  }();
  if (depth < kPrebuiltIndents) return prebuilt[static_cast<std::size_t>(depth)];
  scratch.assign(static_cast<std::size_t>(depth), '\t');
  return scratch;
}

void AppendUnicodeEscape(std::string& out, char16_t unit) {
  out += "\\u";
  AppendHexByte(out, static_cast<unsigned char>(unit >> 8), HexCase::Upper);
  AppendHexByte(out, static_cast<unsigned char>(unit & 0xFF), HexCase::Upper);
}

std::string DecimalText(std::int32_t value) {
  // Digits of the absolute value, computed in 64 bits so that INT32_MIN works.
  std::int64_t magnitude = value;
  const bool negative = magnitude < 0;
  if (negative) magnitude = -magnitude;
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) digits.insert(digits.begin(), '-');
  return digits;
}

}  // namespace

void AppendJsonEscaped(std::string& out, std::string_view text) {
  const auto plain = [](char b) {
    return b >= 0x20 && b <= 0x7E && b != '"' && b != '\\' && b != '/';
  };
  std::size_t pos = 0;
  while (pos < text.size()) {
    // Runs of characters that stand for themselves go in at once.
    std::size_t end = pos;
    while (end < text.size() && plain(text[end])) ++end;
    if (end > pos) {
      out.append(text.substr(pos, end - pos));
      pos = end;
      continue;
    }
    char32_t c = 0;
    if (!NextCodePoint(text, pos, c)) {
      AppendUnicodeEscape(out, u'\uFFFD');
      ++pos;
      continue;
    }
    switch (c) {
      case U'\b':
        out += "\\b";
        break;
      case U'\t':
        out += "\\t";
        break;
      case U'\n':
        out += "\\n";
        break;
      case U'\f':
        out += "\\f";
        break;
      case U'\r':
        out += "\\r";
        break;
      case U'"':
        out += "\\\"";
        break;
      case U'/':
        out += "\\/";
        break;
      case U'\\':
        out += "\\\\";
        break;
      default:
        if (c >= 0x20 && c <= 0x7E) {
          out += static_cast<char>(c);
        } else if (c < 0x10000) {
          AppendUnicodeEscape(out, static_cast<char16_t>(c));
        } else {
          const char32_t offset = c - 0x10000;
          AppendUnicodeEscape(out, static_cast<char16_t>(0xD800 + (offset >> 10)));
          AppendUnicodeEscape(out, static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
        }
    }
  }
}

JsonNode::JsonNode() : m_internals(std::make_shared<Internals>()) {}

JsonNode::JsonNode(std::shared_ptr<Internals> internals) : m_internals(std::move(internals)) {}

JsonNode::JsonNode(JsonType containerType) : JsonNode() {
  if (containerType == JsonArray || containerType == JsonObject) m_internals->type = containerType;
}

JsonNode::JsonNode(std::string_view name, std::string_view text) : JsonNode() {
  m_internals->type = JsonString;
  m_internals->name = name;
  m_internals->valueText = text;
}

JsonNode::JsonNode(std::string_view name, std::int32_t value) : JsonNode() {
  m_internals->type = JsonNumber;
  m_internals->name = name;
  m_internals->valueText = DecimalText(value);
  m_internals->numericValue = value;
}

JsonNode JsonNode::MakeBool(std::string_view name, bool value) {
  JsonNode node;
  node.m_internals->type = JsonBool;
  node.m_internals->name = name;
  node.m_internals->valueText = value ? "true" : "false";
  node.m_internals->numericValue = value ? 1 : 0;
  return node;
}

JsonNode JsonNode::MakeNull(std::string_view name) {
  JsonNode node;
  node.m_internals->name = name;
  node.m_internals->valueText = "null";
  return node;
}

JsonType JsonNode::Type() const { return m_internals->type; }
const std::string& JsonNode::Name() const { return m_internals->name; }
const std::string& JsonNode::ValueText() const { return m_internals->valueText; }
double JsonNode::NumericValue() const { return m_internals->numericValue; }
std::size_t JsonNode::ChildCount() const { return m_internals->children.size(); }
const JsonNode& JsonNode::Child(std::size_t index) const { return m_internals->children.at(index); }
long JsonNode::ShareCount() const { return m_internals.use_count(); }

void JsonNode::MakeUnique() {
  // Children are handles themselves and copy on their own write, so a copy
  // of the handle list is a deep copy as far as any handle can tell.
  if (m_internals.use_count() > 1) m_internals = std::make_shared<Internals>(*m_internals);
}

void JsonNode::SetName(std::string_view name) {
  MakeUnique();
  m_internals->name = name;
}

void JsonNode::Append(const JsonNode& child) {
  if (Type() != JsonArray && Type() != JsonObject) return;
  MakeUnique();
  auto& children = m_internals->children;
  if (children.capacity() == 0) children.reserve(kInitialChildCapacity);
  children.push_back(child);
}

std::string JsonNode::WriteFormatted() const {
  std::string out;
  if (Type() != JsonArray && Type() != JsonObject) return out;
  out.reserve(kReservedOutput);
  Write(out, 0, true, false);
  return out;
}

std::string JsonNode::WriteCompact() const {
  std::string out;
  if (Type() != JsonArray && Type() != JsonObject) return out;
  out.reserve(kReservedOutput);
  Write(out, 0, false, false);
  return out;
}

void JsonNode::Write(std::string& out, int depth, bool formatted, bool named) const {
  const Internals& node = *m_internals;
  if (named) {
    out += '"';
    if (node.nameNeedsEscaping) {
      AppendJsonEscaped(out, node.name);
    } else {
      out += node.name;
    }
    out += formatted ? "\" : " : "\":";
  }
  switch (node.type) {
    case JsonString:
      out += '"';
      if (node.valueNeedsEscaping) {
        AppendJsonEscaped(out, node.valueText);
      } else {
        out += node.valueText;
      }
      out += '"';
      return;
    case JsonNumber:
      out += node.valueText;
      return;
    case JsonBool:
      out += node.numericValue != 0 ? "true" : "false";
      return;
    case JsonNull:
      out += "null";
      return;
    case JsonArray:
    case JsonObject:
      break;
  }
  const bool isObject = node.type == JsonObject;
  out += isObject ? '{' : '[';
  if (!node.children.empty()) {
    std::string scratch;
    for (std::size_t i = 0; i < node.children.size(); ++i) {
      if (formatted) {
        out += '\n';
        out += Indent(depth + 1, scratch);
      }
      node.children[i].Write(out, depth + 1, formatted, isObject);
      if (i + 1 < node.children.size()) out += ',';
    }
    if (formatted) {
      out += '\n';
      out += Indent(depth, scratch);
    }
  }
  out += isObject ? '}' : ']';
}

// A recursive-descent reader over the whole text; pos is the next byte.
class JsonNode::Parser {
 public:
  explicit Parser(std::string_view text) : m_text(text) {}

  bool ParseDocument(JsonNode* root, std::string* error) {
    SkipWhitespace();
    JsonNode value;
    if (ParseValue(value, 0)) {
      SkipWhitespace();
      if (m_pos != m_text.size()) Fail("unexpected text after the value");
    }
    if (!m_error.empty()) {
      if (error != nullptr) *error = m_error + " at offset " + std::to_string(m_errorPos);
      return false;
    }
    *root = std::move(value);
    return true;
  }

 private:
  bool Fail(const char* what) {
    if (m_error.empty()) {
      m_error = what;
      m_errorPos = m_pos;
    }
    return false;
  }

  bool AtEnd() const { return m_pos >= m_text.size(); }
  char Peek() const { return m_text[m_pos]; }

  void SkipWhitespace() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r'))
      ++m_pos;
  }

  bool Literal(std::string_view word) {
    if (m_text.substr(m_pos, word.size()) != word) return Fail("unknown literal");
    m_pos += word.size();
    return true;
  }

  bool ParseValue(JsonNode& out, int depth) {
    if (AtEnd()) return Fail("a value is missing");
    switch (Peek()) {
      case '{':
      case '[':
        return ParseContainer(out, depth + 1);
      case '"': {
        std::string text;
        if (!ParseString(text)) return false;
        out = JsonNode(std::string_view(), text);
        return true;
      }
      case 't':
        if (!Literal("true")) return false;
        out = MakeBool({}, true);
        return true;
      case 'f':
        if (!Literal("false")) return false;
        out = MakeBool({}, false);
        return true;
      case 'n':
        if (!Literal("null")) return false;
        out = MakeNull({});
        return true;
      default:
        return ParseNumber(out);
    }
  }

  bool ParseContainer(JsonNode& out, int depth) {
    if (depth > kMaxParseDepth) return Fail("nesting too deep");
    const bool isObject = Peek() == '{';
    const char close = isObject ? '}' : ']';
    JsonNode container(isObject ? JsonObject : JsonArray);
    ++m_pos;
    SkipWhitespace();
    if (!AtEnd() && Peek() == close) {
      ++m_pos;
      out = std::move(container);
      return true;
    }
    for (;;) {
      std::string name;
      if (isObject) {
        if (AtEnd() || Peek() != '"') return Fail("a member name is missing");
        if (!ParseString(name)) return false;
        SkipWhitespace();
        if (AtEnd() || Peek() != ':') return Fail("':' is missing");
        ++m_pos;
        SkipWhitespace();
      }
      JsonNode child;
      if (!ParseValue(child, depth)) return false;
      if (isObject) child.m_internals->name = std::move(name);
      container.m_internals->children.push_back(std::move(child));
      SkipWhitespace();
      if (AtEnd()) return Fail("the container is not closed");
      if (Peek() == close) {
        ++m_pos;
        out = std::move(container);
        return true;
      }
      if (Peek() != ',') return Fail("',' is missing");
      ++m_pos;
      SkipWhitespace();
    }
  }

  bool ParseHex4(char16_t& unit) {
    if (m_text.size() - m_pos < 4) return Fail("bad \\u escape");
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = m_text[m_pos + static_cast<std::size_t>(i)];
      value <<= 4;
      if (c >= '0' && c <= '9') {
        value |= static_cast<unsigned>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        value |= static_cast<unsigned>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        value |= static_cast<unsigned>(c - 'A' + 10);
      } else {
        return Fail("bad \\u escape");
      }
    }
    m_pos += 4;
    unit = static_cast<char16_t>(value);
    return true;
  }

  // At the opening quote; leaves pos after the closing one.
  bool ParseString(std::string& out) {
    ++m_pos;
    for (;;) {
      if (AtEnd()) return Fail("the string is not closed");
      const auto byte = static_cast<unsigned char>(Peek());
      if (byte == '"') {
        ++m_pos;
        return true;
      }
      if (byte < 0x20) return Fail("control character in a string");
      if (byte != '\\') {
        // Copy a run of plain bytes at once, checking that it is UTF-8.
        const std::size_t start = m_pos;
        while (!AtEnd() && Peek() != '"' && Peek() != '\\' &&
               static_cast<unsigned char>(Peek()) >= 0x20) {
          if (static_cast<unsigned char>(Peek()) < 0x80) {
            ++m_pos;
            continue;
          }
          char32_t c = 0;
          if (!NextCodePoint(m_text, m_pos, c)) return Fail("text is not UTF-8");
        }
        out.append(m_text.substr(start, m_pos - start));
        continue;
      }
      ++m_pos;
      if (AtEnd()) return Fail("the string is not closed");
      const char escape = Peek();
      ++m_pos;
      switch (escape) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          char16_t unit = 0;
          if (!ParseHex4(unit)) return false;
          char32_t c = unit;
          if (unit >= 0xD800 && unit <= 0xDBFF) {
            char16_t low = 0;
            const std::size_t afterHigh = m_pos;
            if (m_text.substr(m_pos, 2) == "\\u") {
              m_pos += 2;
              if (!ParseHex4(low)) return false;
            }
            if (low >= 0xDC00 && low <= 0xDFFF) {
              c = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                  (static_cast<char32_t>(low) - 0xDC00);
            } else {
              c = 0xFFFD;
              m_pos = afterHigh;  // whatever followed is read on its own
            }
          } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            c = 0xFFFD;
          }
          AppendUtf8(out, c);
          break;
        }
        default:
          --m_pos;
          return Fail("unknown escape");
      }
    }
  }

  bool ParseNumber(JsonNode& out) {
    const std::size_t start = m_pos;
    auto digits = [this] {
      std::size_t count = 0;
      while (!AtEnd() && Peek() >= '0' && Peek() <= '9') {
        ++m_pos;
        ++count;
      }
      return count;
    };
    if (!AtEnd() && Peek() == '-') ++m_pos;
    if (AtEnd() || Peek() < '0' || Peek() > '9') return Fail("unexpected character");
    if (Peek() == '0') {
      ++m_pos;
      if (!AtEnd() && Peek() >= '0' && Peek() <= '9') return Fail("leading zero in a number");
    } else {
      digits();
    }
    if (!AtEnd() && Peek() == '.') {
      ++m_pos;
      if (digits() == 0) return Fail("digits missing after '.'");
    }
    if (!AtEnd() && (Peek() == 'e' || Peek() == 'E')) {
      ++m_pos;
      if (!AtEnd() && (Peek() == '+' || Peek() == '-')) ++m_pos;
      if (digits() == 0) return Fail("digits missing in the exponent");
    }
    const std::string_view literal = m_text.substr(start, m_pos - start);
    double value = 0;
    const auto [end, ec] = std::from_chars(literal.data(), literal.data() + literal.size(), value);
    if (ec != std::errc() || end != literal.data() + literal.size()) {
      m_pos = start;
      return Fail("number out of range");
    }
    JsonNode node;
    node.m_internals->type = JsonNumber;
    node.m_internals->valueText = literal;
    node.m_internals->numericValue = value;
    out = std::move(node);
    return true;
  }

  std::string_view m_text;
  std::size_t m_pos = 0;
  std::string m_error;
  std::size_t m_errorPos = 0;
};

bool JsonNode::Parse(std::string_view text, JsonNode* root, std::string* error) {
  return Parser(text).ParseDocument(root, error);
}

}  // namespace QuickKit
