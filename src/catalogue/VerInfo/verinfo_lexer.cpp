#include "catalogue/VerInfo/verinfo_lexer.h"

#include "catalogue/VerInfo/verinfo_assert.h"

namespace bright_setup {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

}  // namespace

VerInfoLexer::VerInfoLexer(std::string_view text) : m_inputString(text) {}

bool VerInfoLexer::IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view VerInfoLexer::TokenText() const {
  return std::string_view(m_inputString).substr(m_start, m_length);
}

void VerInfoLexer::NextToken() {
  // An End token has start 0; moving on from it must not rewind to the
  // beginning of the text.
  if (m_kind != VerInfoTokenKind::End) m_currentPos = m_start + m_length;
  VerInfoAssert(m_currentPos <= m_inputString.length(), "m_currentPos <= m_inputString.length()");
  const std::size_t size = m_inputString.size();
  while (m_currentPos < size && IsBlank(m_inputString[m_currentPos]) &&
         !IsLineBreak(m_inputString[m_currentPos])) {
    ++m_currentPos;
  }
  VerInfoAssert(m_currentPos <= m_inputString.length(), "m_currentPos <= m_inputString.length()");

  if (m_currentPos == size) {
    m_kind = VerInfoTokenKind::End;
    m_start = 0;
    m_length = 0;
    return;
  }

  m_start = m_currentPos;
  const char first = m_inputString[m_start];
  std::size_t end = m_start + 1;
  if (IsLineBreak(first)) {
    m_kind = VerInfoTokenKind::LineBreak;
    while (end < size && IsLineBreak(m_inputString[end])) ++end;
  } else if (IsDigit(first)) {
    m_kind = VerInfoTokenKind::Number;
    while (end < size && IsDigit(m_inputString[end])) ++end;
  } else if (first == '.') {
    m_kind = VerInfoTokenKind::Dot;
  } else if (first == ';') {
    m_kind = VerInfoTokenKind::Semicolon;
  } else if (first == '-') {
    m_kind = VerInfoTokenKind::Dash;
  } else if (first == '*') {
    m_kind = VerInfoTokenKind::Star;
  } else {
    m_kind = VerInfoTokenKind::Word;
    while (end < size && !IsBlank(m_inputString[end]) && m_inputString[end] != ';') ++end;
  }
  m_length = end - m_start;
}

}  // namespace bright_setup
