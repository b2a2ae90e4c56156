// The parsed product catalogue (verinfo.txt) and its one query.
//
// One line of the text is a comment (";" ...) or an entry:
//   NAME[-LANG[;LANG...]] VERSION VALUE[;VALUE...] [EXTRA[;EXTRA...]]
// where VERSION is "*" or dotted numbers. Find() returns the first entry of
// a name, in file order, that fits a requested version and languages.
//
// A VerInfo is filled once by its owner and then only read; it is not
// thread-safe while it loads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/VerInfo/verinfo_lexer.h"
#include "support/hresult.h"

namespace bright_setup {

struct VerInfoEntry {
  std::string name;
  // The version written on the line, one element per dotted part, each the
  // low 16 bits of the number; empty when the line has "*".
  std::vector<std::uint16_t> m_versionParts;
  bool anyVersion = false;
  std::vector<std::string> languages;  // empty: fits every language
  std::vector<std::string> values;     // at least one in a parsed entry
  std::vector<std::string> extraValues;

  std::uint16_t VersionPart(int index) const;

  bool operator==(const VerInfoEntry&) const = default;
};

// Where and why a failed load stopped, for the people who write the
// catalogue. line is 0 when the failure has no position in the text (an
// HTML page); line and column count from 1, the column in characters.
struct VerInfoParseError {
  std::size_t line = 0;
  std::size_t column = 0;
  std::string reason;
};

// A place in the catalogue text: line and column count from 1, the column
// in characters.
struct VerInfoTextPosition {
  std::size_t line = 0;
  std::size_t column = 0;

  bool operator==(const VerInfoTextPosition&) const = default;
};

class VerInfo {
 public:
  // Parses the text (UTF-8) and, when the parse succeeds, indexes it.
  // S_OK: at least one entry; S_FALSE: a valid text without entries;
  // E_INVALIDARG: an HTML page (the catalogue is left untouched) or a
  // grammar error (the entries before the faulty line stay stored, but
  // without an index, so every Find fails).
  // A version number beyond 2147483647 throws std::out_of_range
  // ("stoi argument out of range"); the entries parsed so far stay stored,
  // again without an index. The caller decides what an exception means.
  HRESULT Load(std::string_view text);

  // Whether the first 1,024 characters contain "<html" in any letter case:
  // an error or login page served in place of the catalogue.
  static bool LooksLikeHtml(std::string_view text);

  HRESULT Parse(VerInfoLexer& lexer);
  void BuildIndex();

  // The first entry named key (exact, case-sensitive) whose version has the
  // requested version as a prefix (or is "*") and whose languages include
  // every requested language (case-insensitive), or that has no languages.
  bool Find(std::string_view key, const std::vector<std::string>& requestedLanguages,
            const std::vector<std::int32_t>& requestedVersion, VerInfoEntry& entry) const;

  const std::vector<VerInfoEntry>& Entries() const { return m_entries; }
  // Where the first value of each entry stands in the loaded text, in the
  // order of Entries(), so that a value the program cannot use can be
  // pointed at for the people who write the catalogue.
  const std::vector<VerInfoTextPosition>& ValuePositions() const { return m_valuePositions; }
  // Set by the last failed Parse or Load; empty reason after a success.
  const VerInfoParseError& LastError() const { return m_lastError; }
  void SetLastError(VerInfoParseError error) { m_lastError = std::move(error); }
  // The text was loaded without a first character that its author sees in
  // the file: counts it back into the columns of line 1 (error and values).
  void CountDroppedFirstCharacter();

  static bool VersionFits(const VerInfoEntry& entry, const std::vector<std::int32_t>& requested);
  static bool LanguagesFit(const VerInfoEntry& entry, const std::vector<std::string>& requested);

 private:
  // valueOffset: where the entry's first value starts (entries only).
  HRESULT ParseLine(VerInfoLexer& lexer, VerInfoEntry& entry, std::size_t& valueOffset);
  HRESULT SkipComment(VerInfoLexer& lexer);
  HRESULT ParseEntry(VerInfoLexer& lexer, VerInfoEntry& entry, std::size_t& valueOffset);
  HRESULT ParseVersion(VerInfoLexer& lexer, VerInfoEntry& entry);
  HRESULT ParseWordList(VerInfoLexer& lexer, std::vector<std::string>& list, std::string_view what);
  HRESULT Fail(const VerInfoLexer& lexer, std::string reason);

  std::vector<VerInfoEntry> m_entries;
  std::vector<VerInfoTextPosition> m_valuePositions;
  std::map<std::string, std::vector<std::size_t>, std::less<>> m_index;
  VerInfoParseError m_lastError;
};

// Line and column (both from 1, the column in code points) of a byte
// offset in the text. A CR LF pair, a lone CR and a lone LF each end a line.
VerInfoParseError PositionOf(std::string_view text, std::size_t offset);

}  // namespace bright_setup
