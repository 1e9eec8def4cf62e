// docs/messages.md: every coded message of the catalog with its text (from
// the catalog) and its explanation (from docs/message-explanations.md).
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "catalog_text.h"

namespace docgen {

struct Explanations {
  std::string intro;                                        // the text between "---" and the first heading
  std::map<std::string, std::string, std::less<>> by_code;  // "ZRNCF1338E" -> its paragraphs
};

// Reads the explanations source: a preamble, a line "---", the intro, then
// one "## <code>" heading per message with its paragraphs below it.
Explanations parse_explanations(std::string_view source);

// What is wrong with the explanations for these messages: codes without an
// explanation or without its two paragraphs, and explanations of codes the
// catalog does not have.  Empty when all is well.
std::vector<std::string> explanation_problems(const std::vector<CodedMessage>& messages,
                                              const Explanations& explanations);

std::string messages_markdown(const std::vector<CodedMessage>& messages, const Explanations& explanations);

}  // namespace docgen
