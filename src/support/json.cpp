#include "support/json.h"

#include <array>

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
  std::size_t pos = 0;
  while (pos < text.size()) {
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

}  // namespace QuickKit
