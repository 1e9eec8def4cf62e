// zarn_docgen: makes the documentation that must follow the program's
// tables, at build time.
//   zarn_docgen man NAME PAGE_SOURCE OUT      a manual page with its generated section
//   zarn_docgen completion OUT                the bash completion of zarncfg
//   zarn_docgen messages EXPLANATIONS OUT     docs/messages.md
//   zarn_docgen check-messages EXPLANATIONS   fails when a coded message lacks its explanation
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "completion.h"
#include "man_page.h"
#include "messages_doc.h"

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Writes through a temporary file in the same folder, so that a build that
// stops half-way never leaves a torn page behind for the next build to trust.
void write_file(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + temporary);
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) throw std::runtime_error("cannot rename to " + path);
}

int make_man_page(const std::string& name, const std::string& source, const std::string& out) {
  for (const docgen::ManPage& page : docgen::man_pages()) {
    if (page.name != name) continue;
    write_file(out, docgen::fill_template(read_file(source), docgen::render_entries(page.entries())));
    return 0;
  }
  std::cerr << "zarn_docgen: no manual page " << name << "\n";
  return 2;
}

int check_messages(const std::string& explanations) {
  const auto problems =
      docgen::explanation_problems(docgen::coded_messages(), docgen::parse_explanations(read_file(explanations)));
  for (const std::string& problem : problems) std::cerr << explanations << ": " << problem << "\n";
  return problems.empty() ? 0 : 1;
}

int usage() {
  std::cerr << "usage: zarn_docgen man NAME PAGE_SOURCE OUT | completion OUT | messages EXPLANATIONS OUT"
               " | check-messages EXPLANATIONS\n";
  return 2;
}

int run(int argc, char** argv) {
  const std::string_view command = argc > 1 ? argv[1] : "";
  if (command == "man" && argc == 5) return make_man_page(argv[2], argv[3], argv[4]);
  if (command == "completion" && argc == 3) {
    write_file(argv[2], docgen::bash_completion(docgen::zarncfg_option_docs()));
    return 0;
  }
  if (command == "messages" && argc == 4) {
    write_file(argv[3], docgen::messages_markdown(docgen::coded_messages(),
                                                  docgen::parse_explanations(read_file(argv[2]))));
    return 0;
  }
  if (command == "check-messages" && argc == 3) return check_messages(argv[2]);
  return usage();
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "zarn_docgen: " << e.what() << "\n";
    return 1;
  }
}
