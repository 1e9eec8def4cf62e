// zarn_docgen: makes the documentation that must follow the program's
// tables, at build time.
//   zarn_docgen man NAME PAGE_SOURCE OUT      a manual page with its generated section
//   zarn_docgen completion OUT                the bash completion of zarncfg
//   zarn_docgen messages EXPLANATIONS OUT     docs/messages.md
#include <iostream>
#include <string>
#include <string_view>

#include "completion.h"
#include "man_page.h"
#include "messages_doc.h"
#include "text_file.h"

namespace {

int make_man_page(const std::string& name, const std::string& source, const std::string& out) {
  for (const docgen::ManPage& page : docgen::man_pages()) {
    if (page.name != name) continue;
    docgen::write_text_file(
        out, docgen::fill_template(docgen::read_text_file(source), docgen::render_entries(page.entries())));
    return 0;
  }
  std::cerr << "zarn_docgen: no manual page " << name << "\n";
  return 2;
}

int usage() {
  std::cerr << "usage: zarn_docgen man NAME PAGE_SOURCE OUT | completion OUT | messages EXPLANATIONS OUT\n";
  return 2;
}

int run(int argc, char** argv) {
  const std::string_view command = argc > 1 ? argv[1] : "";
  if (command == "man" && argc == 5) return make_man_page(argv[2], argv[3], argv[4]);
  if (command == "completion" && argc == 3) {
    docgen::write_text_file(argv[2], docgen::bash_completion(docgen::zarncfg_option_docs()));
    return 0;
  }
  if (command == "messages" && argc == 4) {
    docgen::write_text_file(argv[3],
                            docgen::messages_markdown(docgen::coded_messages(),
                                                      docgen::parse_explanations(docgen::read_text_file(argv[2]))));
    return 0;
  }
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
