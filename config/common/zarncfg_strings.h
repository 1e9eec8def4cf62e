// Text operations shared by the whole program.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zarncfg_msg.h"

// Joins the words of a quoted phrase in a policy command line.
inline constexpr char WORD_JOINER = 0x1D;

// 1 when the text is none, empty or only blanks (a tab counts as content).
int zarncfg_is_empty(std::string_view text);
int zarncfg_is_empty(const std::optional<std::string>& text);
inline int zarncfg_is_empty(const std::string& text) { return zarncfg_is_empty(std::string_view(text)); }
inline int zarncfg_is_empty(const char* text) { return text ? zarncfg_is_empty(std::string_view(text)) : 1; }

// Splits at every separator: one item more than there are separators, empty
// items kept.  Nothing (and count 0) for an empty text.
std::optional<std::vector<std::string>> zarncfg_strg_parser(std::string_view text, int& count, char separator);

std::string& zarncfg_strlwr(std::string& text);
// Removes leading and trailing white space.
std::string& zarncfg_trim(std::string& text);
// Folds each double-quoted phrase into one word; 0 when the quotes do not pair up.
int zarncfg_quotes_to_word(std::string& text);
std::string& zarncfg_re_convert(std::string& text);
// The item at the index with its blanks restored; none when absent or empty.
std::optional<std::string> zarncfg_get_field(std::span<const std::string> items, std::size_t index);
// "on" for the on-words true, yes, on, t, y (any case), else "off".
std::string zarncfg_get_bool(std::string& text);
// Replaces every occurrence of the pattern in one left-to-right pass.
void zarncfg_substitute_string(std::string& text, std::string_view pattern, std::string_view replacement,
                               vd_msgid_t& status);
// Tabs to blanks, trims, and shrinks every run of white space to one character.
void zarncfg_filter_double_spaces_and_trim(std::string& text);

bool zarncfg_is_white(char c);

// The value as one word of a /bin/sh command line: unchanged when it holds
// only [A-Za-z0-9_@%+=:,./-], else single-quoted, so that nothing in it is
// ever executed or split.
std::string zarncfg_shell_word(std::string_view value);
