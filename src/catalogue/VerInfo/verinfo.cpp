#include "catalogue/VerInfo/verinfo.h"

#include <limits>
#include <stdexcept>
#include <utility>

#include "catalogue/VerInfo/verinfo_assert.h"
#include "support/ascii.h"
#include "support/text.h"

namespace bright_setup {
namespace {

using Kind = VerInfoTokenKind;

constexpr std::size_t kHtmlProbeCharacters = 1024;

// Base-10 conversion of a run of digits into a signed 32-bit value, with
// the error the string-to-integer conversion gives for a value out of range.
std::int32_t ToInt32(std::string_view digits) {
  std::int64_t value = 0;
  for (char c : digits) {
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<std::int32_t>::max()) {
      throw std::out_of_range("stoi argument out of range");
    }
  }
  return static_cast<std::int32_t>(value);
}

std::string_view Describe(Kind kind) {
  switch (kind) {
    case Kind::End:
      return "the end of the text";
    case Kind::Word:
      return "a word";
    case Kind::Number:
      return "a number";
    case Kind::LineBreak:
      return "a line break";
    case Kind::Dot:
      return "'.'";
    case Kind::Semicolon:
      return "';'";
    case Kind::Dash:
      return "'-'";
    case Kind::Star:
      return "'*'";
  }
  return "a token";
}

}  // namespace

std::uint16_t VerInfoEntry::VersionPart(int index) const {
  VerInfoAssert(index >= 0 && static_cast<std::size_t>(index) < m_versionParts.size(),
                "0 <= index && index < m_versionParts.size()");
  return m_versionParts[static_cast<std::size_t>(index)];
}

namespace {

// Moves position (which stands at byte offset from) on to byte offset to.
// A CR LF pair, a lone CR and a lone LF each end a line; a byte that is not
// valid UTF-8 counts as one character.
void Advance(std::string_view text, std::size_t from, std::size_t to,
             VerInfoTextPosition& position) {
  std::size_t pos = from;
  while (pos < to && pos < text.size()) {
    const char c = text[pos];
    if (c == '\n' || c == '\r') {
      ++pos;
      if (c == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
      ++position.line;
      position.column = 1;
      continue;
    }
    char32_t codePoint = 0;
    if (!QuickKit::NextCodePoint(text, pos, codePoint)) ++pos;
    ++position.column;
  }
}

}  // namespace

VerInfoParseError PositionOf(std::string_view text, std::size_t offset) {
  VerInfoTextPosition position{1, 1};
  Advance(text, 0, offset, position);
  VerInfoParseError error;
  error.line = position.line;
  error.column = position.column;
  return error;
}

void VerInfo::CountDroppedFirstCharacter() {
  if (m_lastError.line == 1) ++m_lastError.column;
  for (VerInfoTextPosition& position : m_valuePositions) {
    if (position.line == 1) ++position.column;
  }
}

HRESULT VerInfo::Load(std::string_view text) {
  m_lastError = {};
  if (LooksLikeHtml(text)) {
    m_lastError.reason = "the text is an HTML page, not a catalogue";
    return E_INVALIDARG;
  }
  VerInfoLexer lexer(text);
  const HRESULT hr = Parse(lexer);
  if (hr == S_OK || hr == S_FALSE) BuildIndex();
  return hr;
}

bool VerInfo::LooksLikeHtml(std::string_view text) {
  // The probe counts characters, not bytes; a byte that is not valid UTF-8
  // counts as one character.
  std::string probe;
  std::size_t pos = 0;
  for (std::size_t characters = 0; characters < kHtmlProbeCharacters && pos < text.size();
       ++characters) {
    const std::size_t begin = pos;
    char32_t codePoint = 0;
    if (!QuickKit::NextCodePoint(text, pos, codePoint)) pos = begin + 1;
    for (std::size_t i = begin; i < pos; ++i) probe += QuickKit::AsciiLower(text[i]);
  }
  return probe.find("<html") != std::string::npos;
}

HRESULT VerInfo::Fail(const VerInfoLexer& lexer, std::string reason) {
  const std::size_t offset = lexer.Kind() == Kind::End ? lexer.Text().size() : lexer.Start();
  m_lastError = PositionOf(lexer.Text(), offset);
  m_lastError.reason = std::move(reason);
  return E_INVALIDARG;
}

HRESULT VerInfo::Parse(VerInfoLexer& lexer) {
  // The old index goes with the old entries: a parse that fails must leave
  // a catalogue in which every Find fails, not an index into a shorter list.
  m_entries.clear();
  m_valuePositions.clear();
  m_index.clear();
  m_lastError = {};
  // Positions are counted on from the last one, in one pass over the text.
  std::size_t countedTo = 0;
  VerInfoTextPosition counted{1, 1};
  lexer.NextToken();
  while (lexer.Kind() != Kind::End) {
    VerInfoEntry entry;
    std::size_t valueOffset = 0;
    const HRESULT hr = ParseLine(lexer, entry, valueOffset);
    if (FAILED(hr)) return hr;
    if (!entry.name.empty()) {
      Advance(lexer.Text(), countedTo, valueOffset, counted);
      countedTo = valueOffset;
      m_entries.push_back(std::move(entry));
      m_valuePositions.push_back(counted);
    }
    if (lexer.Kind() == Kind::End) break;
    if (lexer.Kind() != Kind::LineBreak) {
      return Fail(lexer,
                  "expected the end of the line, found " + std::string(Describe(lexer.Kind())));
    }
    lexer.NextToken();
  }
  return m_entries.empty() ? S_FALSE : S_OK;
}

HRESULT VerInfo::ParseLine(VerInfoLexer& lexer, VerInfoEntry& entry, std::size_t& valueOffset) {
  switch (lexer.Kind()) {
    case Kind::Semicolon:
      return SkipComment(lexer);
    case Kind::Word:
      return ParseEntry(lexer, entry, valueOffset);
    case Kind::LineBreak:
      return Fail(lexer, lexer.Start() == 0 ? "the text starts with a line break"
                                            : "a line holds only blanks");
    default:
      return Fail(lexer, "expected a key or ';', found " + std::string(Describe(lexer.Kind())));
  }
}

HRESULT VerInfo::SkipComment(VerInfoLexer& lexer) {
  while (lexer.Kind() != Kind::LineBreak && lexer.Kind() != Kind::End) lexer.NextToken();
  if (lexer.Kind() == Kind::End) {
    return Fail(lexer, "a comment on the last line needs a line break after it");
  }
  return S_OK;
}

HRESULT VerInfo::ParseEntry(VerInfoLexer& lexer, VerInfoEntry& entry, std::size_t& valueOffset) {
  const std::string_view word = lexer.TokenText();
  const std::size_t dash = word.find('-');
  entry.name = std::string(word.substr(0, dash));
  lexer.NextToken();
  if (dash != std::string_view::npos) {
    entry.languages.emplace_back(word.substr(dash + 1));
    if (lexer.Kind() == Kind::Semicolon) {
      lexer.NextToken();
      if (lexer.Kind() != Kind::Word) {
        return Fail(lexer,
                    "expected a language after ';', found " + std::string(Describe(lexer.Kind())));
      }
      std::vector<std::string> more;
      const HRESULT hr = ParseWordList(lexer, more, "a language");
      if (FAILED(hr)) return hr;
      entry.languages.insert(entry.languages.end(), more.begin(), more.end());
    }
  }
  HRESULT hr = ParseVersion(lexer, entry);
  if (FAILED(hr)) return hr;
  valueOffset = lexer.Start();
  hr = ParseWordList(lexer, entry.values, "a value");
  if (FAILED(hr)) return hr;
  if (lexer.Kind() == Kind::Word) return ParseWordList(lexer, entry.extraValues, "a value");
  return S_OK;
}

HRESULT VerInfo::ParseVersion(VerInfoLexer& lexer, VerInfoEntry& entry) {
  if (lexer.Kind() == Kind::Star) {
    entry.anyVersion = true;
    lexer.NextToken();
    return S_OK;
  }
  if (lexer.Kind() != Kind::Number) {
    return Fail(lexer, "expected a version ('*' or dotted numbers), found " +
                           std::string(Describe(lexer.Kind())));
  }
  for (;;) {
    entry.m_versionParts.push_back(static_cast<std::uint16_t>(ToInt32(lexer.TokenText())));
    lexer.NextToken();
    if (lexer.Kind() != Kind::Dot) return S_OK;
    lexer.NextToken();
    if (lexer.Kind() != Kind::Number) {
      return Fail(lexer,
                  "expected a number after '.', found " + std::string(Describe(lexer.Kind())));
    }
  }
}

HRESULT VerInfo::ParseWordList(VerInfoLexer& lexer, std::vector<std::string>& list,
                               std::string_view what) {
  list.clear();
  if (lexer.Kind() != Kind::Word) {
    return Fail(lexer,
                "expected " + std::string(what) + ", found " + std::string(Describe(lexer.Kind())));
  }
  for (;;) {
    list.emplace_back(lexer.TokenText());
    lexer.NextToken();
    if (lexer.Kind() != Kind::Semicolon) return S_OK;
    lexer.NextToken();
    if (lexer.Kind() != Kind::Word) {
      return Fail(lexer, "expected " + std::string(what) + " after ';', found " +
                             std::string(Describe(lexer.Kind())));
    }
  }
}

void VerInfo::BuildIndex() {
  m_index.clear();
  for (std::size_t i = 0; i < m_entries.size(); ++i) m_index[m_entries[i].name].push_back(i);
}

bool VerInfo::VersionFits(const VerInfoEntry& entry, const std::vector<std::int32_t>& requested) {
  if (entry.anyVersion) return true;
  if (entry.m_versionParts.size() < requested.size()) return false;
  for (std::size_t i = 0; i < requested.size(); ++i) {
    if (requested[i] != entry.VersionPart(static_cast<int>(i))) return false;
  }
  return true;
}

bool VerInfo::LanguagesFit(const VerInfoEntry& entry, const std::vector<std::string>& requested) {
  if (entry.languages.empty()) return true;
  if (entry.languages.size() < requested.size()) return false;
  for (const std::string& language : requested) {
    bool found = false;
    for (const std::string& own : entry.languages) {
      if (QuickKit::EqualsIgnoringAsciiCase(language, own)) {
        found = true;
        break;
      }
    }
    if (!found) return false;
  }
  return true;
}

bool VerInfo::Find(std::string_view key, const std::vector<std::string>& requestedLanguages,
                   const std::vector<std::int32_t>& requestedVersion, VerInfoEntry& entry) const {
  const auto it = m_index.find(key);
  if (it == m_index.end()) return false;
  for (std::size_t position : it->second) {
    const VerInfoEntry& candidate = m_entries[position];
    if (VersionFits(candidate, requestedVersion) && LanguagesFit(candidate, requestedLanguages)) {
      entry = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace bright_setup
