#include "stanza_document.h"

#include <gtest/gtest.h>

namespace stz {
namespace {

using namespace std::string_literals;

Document parsed(std::string_view bytes) {
  auto result = Document::parse(bytes);
  EXPECT_TRUE(std::holds_alternative<Document>(result)) << bytes;
  return std::get<Document>(std::move(result));
}

std::optional<std::string> valueOf(const Document& document, std::string_view stanza, std::string_view entry) {
  const auto id = document.findStanza(stanza);
  if (!id) return "<no stanza>";
  const auto found = document.findEntry(*id, entry);
  if (!found) return "<no entry>";
  return found->value;
}

TEST(StzDocument, UntouchedTextIsWrittenBackByteForByte) {
  const std::string files[] = {
      "",
      "\n\n",
      "# only a comment",
      "[a]\nx = 1\n",
      "[a]\r\nx = 1\r\n\r\n[b]\ny\n",
      "  # lead\n\n[ a ]  \n  x\t=  \"q\\\"\"  \n# tail\n[a]\nx = dup\nno newline at end",
      "[a]\nbare\r\nnul = \0\nhigh = \xff\x80\nlone = cr\r"s,
  };
  for (const auto& file : files) EXPECT_EQ(parsed(file).serialize(), file);
}

TEST(StzDocument, ReportsTheLineOfAnEntryOutsideAStanza) {
  auto result = Document::parse("# c\n\nname = v\n[a]\n");
  ASSERT_TRUE(std::holds_alternative<SyntaxError>(result));
  EXPECT_EQ(std::get<SyntaxError>(result).line_number, 3u);
  EXPECT_EQ(std::get<SyntaxError>(result).fault, SyntaxFault::EntryOutsideStanza);
}

TEST(StzDocument, FirstOccurrenceOfADuplicateWins) {
  Document document = parsed("[a]\nx = 1\nx = 2\n[a]\ny = 3\n");
  EXPECT_EQ(valueOf(document, "a", "x"), "1");
  EXPECT_EQ(valueOf(document, "a", "y"), "<no entry>");
  ASSERT_TRUE(document.setEntry(*document.findStanza("a"), "x", "9"));
  EXPECT_EQ(document.serialize(), "[a]\nx = 9\nx = 2\n[a]\ny = 3\n");
  ASSERT_TRUE(document.deleteEntry(*document.findStanza("a"), "x"));
  EXPECT_EQ(valueOf(document, "a", "x"), "2");  // as a fresh read of the file would find it
}

TEST(StzDocument, NewEntriesGoAfterTheLastEntryOfTheirStanza) {
  Document document = parsed("[a]\nx = 1\n\n# about b\n[b]\n# no entries yet\n[c]\nz = 1");
  ASSERT_TRUE(document.setEntry(*document.findStanza("a"), "y", "2"));
  ASSERT_TRUE(document.setEntry(*document.findStanza("a"), "w", std::nullopt));
  ASSERT_TRUE(document.setEntry(*document.findStanza("b"), "y", ""));
  ASSERT_TRUE(document.setEntry(*document.findStanza("c"), "y", "3"));
  EXPECT_EQ(document.serialize(),
            "[a]\nx = 1\ny = 2\nw\n\n# about b\n[b]\ny = \"\"\n# no entries yet\n[c]\nz = 1\ny = 3\n");
}

TEST(StzDocument, NewStanzasGoAtTheEndAfterABlankLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "[n]\n"},
      {"[a]\nx = 1\n", "[a]\nx = 1\n\n[n]\n"},
      {"[a]\nx = 1", "[a]\nx = 1\n\n[n]\n"},
      {"[a]\n\n", "[a]\n\n[n]\n"},
      {"[a]\nx = v\r", "[a]\nx = v\r\n\n[n]\n"},  // the CR stays a line end, not part of v
  };
  for (const auto& [before, after] : cases) {
    Document document = parsed(before);
    ASSERT_FALSE(document.findStanza("n"));
    const StanzaId id = document.appendStanza("n");
    EXPECT_EQ(document.findStanza("n"), id);
    EXPECT_EQ(document.serialize(), after);
  }
}

TEST(StzDocument, EditsAgreeWithARereadOfTheirResult) {
  Document document = parsed("[a]\n x = old\ny\nx = dup\n[b]\nz = 1\n");
  const StanzaId a = *document.findStanza("a");
  EXPECT_FALSE(document.setEntry(a, "y", std::nullopt));  // same value: no change
  EXPECT_TRUE(document.setEntry(a, "x", " new "));
  EXPECT_TRUE(document.deleteEntry(a, "y"));
  EXPECT_FALSE(document.deleteEntry(a, "y"));
  EXPECT_TRUE(document.setEntry(a, "v", "1"));
  EXPECT_TRUE(document.setEntry(document.appendStanza("c"), "q", "\"x\""));
  const Document reread = parsed(document.serialize());
  for (const auto& [stanza, entry] : {std::pair{"a", "x"}, {"a", "y"}, {"a", "v"}, {"b", "z"}, {"c", "q"}}) {
    EXPECT_EQ(valueOf(reread, stanza, entry), valueOf(document, stanza, entry)) << stanza << "/" << entry;
  }
  EXPECT_EQ(document.serialize(), "[a]\n x = \" new \"\nx = dup\nv = 1\n[b]\nz = 1\n\n[c]\nq = \"\\\"x\\\"\"\n");
}

}  // namespace
}  // namespace stz
