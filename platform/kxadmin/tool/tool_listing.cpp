// kxadmin dump and the listing commands.
#include <functional>
#include <iostream>

#include "tool_commands.h"
#include "tool_support.h"

namespace kxtool {
namespace {

struct Listing {
  std::string_view kind, verb;
  std::size_t min_words, max_words;  // after "KIND VERB"
  std::function<kx::Outcome(kx::Store&, Words, std::vector<std::string>&)> list;
};

const std::vector<Listing>& listings() {
  static const std::vector<Listing> table{
      {"objectspace", "list", 0, 0, [](kx::Store& s, Words, auto& out) { return s.objectspace_names(out); }},
      {"object", "list", 0, 0, [](kx::Store& s, Words, auto& out) { return s.protobj_names(out); }},
      {"acl", "list", 0, 0, [](kx::Store& s, Words, auto& out) { return s.acl_names(out); }},
      {"acl", "show", 1, 1, [](kx::Store& s, Words w, auto& out) { return s.acl_entries(w[0], out); }},
      {"user", "list", 0, 1,
       [](kx::Store& s, Words w, auto& out) { return s.user_names(w.empty() ? "*" : w[0], 0, out); }},
      {"group", "list", 0, 0, [](kx::Store& s, Words, auto& out) { return s.group_names(out); }},
      {"group", "show", 1, 1, [](kx::Store& s, Words w, auto& out) { return s.group_details(w[0], out); }},
      {"action", "list", 0, 0, [](kx::Store& s, Words, auto& out) { return s.action_entries(out); }},
  };
  return table;
}

}  // namespace

// "--undo" adds the runs and their undo records after the policy.
int run_dump(const std::string& store_path, Words words) {
  const bool undo = words.size() == 1 && words[0] == "--undo";
  if (words.size() > (undo ? 1u : 0u)) return usage_error();
  std::unique_ptr<kx::Store> store = open_store(store_path);
  if (!store) return EXIT_FAILED;
  std::string text;
  if (kx::Outcome r = store->dump(text, undo); !r.ok()) return failed(r);
  std::cout << text;
  return EXIT_OK;
}

int run_listing(const std::string& store_path, std::string_view kind, Words words) {
  if (words.empty()) return usage_error();
  const Words args = words.subspan(1);
  for (const Listing& listing : listings()) {
    if (listing.kind != kind || listing.verb != words[0]) continue;
    if (args.size() < listing.min_words || args.size() > listing.max_words) return usage_error();
    std::unique_ptr<kx::Store> store = open_store(store_path);
    if (!store) return EXIT_FAILED;
    std::vector<std::string> lines;
    if (kx::Outcome r = store->read([&] { return listing.list(*store, args, lines); }); !r.ok()) return failed(r);
    print_lines(lines);
    return EXIT_OK;
  }
  return usage_error();
}

}  // namespace kxtool
