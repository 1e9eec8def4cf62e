#include "stanza_document.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

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

TEST(StzDocument, EditsAroundDeletedAndAddedLinesAgreeWithARereadOfTheirResult) {
  struct Case {
    std::string before;
    std::function<void(Document&)> edit;
    std::string after;
  };
  const auto a = [](Document& d) { return *d.findStanza("a"); };
  const Case cases[] = {
      // The last entries deleted: a new one follows the last entry left.
      {"[a]\nx = 1\ny = 2\n# c\n[b]\n",
       [&](Document& d) { d.deleteEntry(a(d), "y"), d.setEntry(a(d), "z", "3"); }, "[a]\nx = 1\nz = 3\n# c\n[b]\n"},
      {"[a]\nx = 1\n\n[b]\n", [&](Document& d) { d.deleteEntry(a(d), "x"), d.setEntry(a(d), "z", "3"); },
       "[a]\nz = 3\n\n[b]\n"},
      // An added line is edited and deleted like any other.
      {"[a]\nx = 1\n", [&](Document& d) { d.setEntry(a(d), "y", "2"), d.setEntry(a(d), "y", "3"); },
       "[a]\nx = 1\ny = 3\n"},
      {"[a]\nx = 1\n", [&](Document& d) { d.setEntry(a(d), "y", "2"), d.deleteEntry(a(d), "y"); }, "[a]\nx = 1\n"},
      // Line ends: CRLF kept on an edited line, the missing last one added.
      {"[a]\r\nx = 1\r\n", [&](Document& d) { d.setEntry(a(d), "x", "2"); }, "[a]\r\nx = 2\r\n"},
      {"[a]\nx = 1", [&](Document& d) { d.setEntry(a(d), "y", "2"); }, "[a]\nx = 1\ny = 2\n"},
      {"[a]\nx = 1\ny", [&](Document& d) { d.deleteEntry(a(d), "y"), d.setEntry(a(d), "z", "3"); },
       "[a]\nx = 1\nz = 3\n"},
      {"[a]", [&](Document& d) { d.setEntry(a(d), "x", "1"); }, "[a]\nx = 1\n"},
      // A duplicate behind a deleted first occurrence is found and edited.
      {"[a]\nx = 1\ny = 0\nx = 2\n", [&](Document& d) { d.deleteEntry(a(d), "x"), d.setEntry(a(d), "x", "5"); },
       "[a]\ny = 0\nx = 5\n"},
  };
  for (const auto& c : cases) {
    Document document = parsed(c.before);
    c.edit(document);
    EXPECT_EQ(document.serialize(), c.after) << c.before;
    const Document reread = parsed(document.serialize());
    for (const char* entry : {"x", "y", "z"}) {
      EXPECT_EQ(valueOf(reread, "a", entry), valueOf(document, "a", entry)) << c.before << " " << entry;
    }
  }
}

// The run's cache hands out copies of one document: edits of one copy
// must not reach another, nor the text they share.
TEST(StzDocument, EditsOfACopyStayInTheCopy) {
  const std::string text = "[a]\nx = 1\ny = 2\n";
  const Document original = parsed(text);
  Document copy = original;
  ASSERT_TRUE(copy.setEntry(*copy.findStanza("a"), "x", "9"));
  ASSERT_TRUE(copy.deleteEntry(*copy.findStanza("a"), "y"));
  copy.setEntry(copy.appendStanza("b"), "z", "1");
  EXPECT_EQ(original.serialize(), text);
  EXPECT_EQ(valueOf(original, "a", "x"), "1");
  EXPECT_EQ(valueOf(original, "b", "z"), "<no stanza>");
  EXPECT_EQ(copy.serialize(), "[a]\nx = 9\n\n[b]\nz = 1\n");
}

TEST(StzDocument, AnEditInALargeFileIsWrittenAroundItNotCopied) {
  std::string text = "[head]\n";
  for (int i = 0; i < 1000; ++i) text += "entry-" + std::to_string(i) + " = value\n";
  text += "[tail]\nlast = 1\n";
  Document document = parsed(text);
  EXPECT_EQ(document.pieces().size(), 1u);
  ASSERT_TRUE(document.setEntry(*document.findStanza("head"), "entry-500", "new"));
  const auto pieces = document.pieces();
  ASSERT_EQ(pieces.size(), 4u);  // before, the new line, its line end, after
  EXPECT_EQ(pieces[1], "entry-500 = new");
  std::string joined;
  for (const auto piece : pieces) joined += piece;
  EXPECT_EQ(joined, document.serialize());
}

// Configuration files of the usual shape, all of them looked up: the
// document holds little beside the text itself.
TEST(StzDocument, HoldsLittleMoreThanTheText) {
  std::string text;
  for (int stanza = 0; stanza < 500; ++stanza) {
    text += "\n[stanza-" + std::to_string(stanza) + "]\n";
    for (int entry = 0; entry < 40; ++entry) text += "entry-" + std::to_string(entry) + " = v" + std::to_string(stanza) + "\n";
  }
  Document document = parsed(text);
  for (int stanza = 0; stanza < 500; ++stanza) {
    EXPECT_EQ(valueOf(document, "stanza-" + std::to_string(stanza), "entry-39"), "v" + std::to_string(stanza));
  }
  EXPECT_LE(document.memoryUsed(), text.size());
  // One big stanza is indexed as a whole.
  std::string flat = "[all]\n";
  for (int entry = 0; entry < 20000; ++entry) flat += "entry-" + std::to_string(entry) + " = value\n";
  Document big = parsed(flat);
  EXPECT_EQ(valueOf(big, "all", "entry-19999"), "value");
  EXPECT_LE(big.memoryUsed(), flat.size());
}

}  // namespace
}  // namespace stz
