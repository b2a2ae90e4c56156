// Tokenizer of the catalogue text (verinfo.txt).
//
// The text is UTF-8. Every character class the lexer knows (blanks, digits,
// the punctuation tokens) is ASCII, and every byte of a multi-byte UTF-8
// sequence is above 0x7F, so such bytes always belong to a Word: splitting
// the bytes gives the same tokens as splitting the characters would.
// Positions are byte offsets into the text.
//
// Owned by one VerInfo::Load call, on the caller's thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace bright_setup {

enum class VerInfoTokenKind : int {
  End = 0,
  Word = 1,
  Number = 2,
  LineBreak = 3,
  Dot = 4,
  Semicolon = 5,
  Dash = 6,
  Star = 7,
};

class VerInfoLexer {
 public:
  explicit VerInfoLexer(std::string_view text);

  // Moves to the next token: skips blanks other than CR and LF, then
  // classifies the character at the read position. At the end of the text
  // the token is End with start and length 0; further calls stay there.
  void NextToken();

  VerInfoTokenKind Kind() const { return m_kind; }
  std::size_t Start() const { return m_start; }
  std::size_t Length() const { return m_length; }
  std::string_view TokenText() const;
  std::size_t CurrentPos() const { return m_currentPos; }
  const std::string& Text() const { return m_inputString; }

  static bool IsBlank(char c);

 private:
  std::string m_inputString;
  VerInfoTokenKind m_kind = VerInfoTokenKind::End;
  std::size_t m_start = 0;
  std::size_t m_length = 0;
  std::size_t m_currentPos = 0;
};

}  // namespace bright_setup
