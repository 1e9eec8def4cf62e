// The message formatter.  The input is a format, then NUL-separated
// inserts: "d<number>" a signed and "u<number>" an unsigned integer, "n" a
// null string, anything else a string.  The same inserts also fill one of
// the catalog's own texts, as user values do in a real run.
#include <charconv>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "zarncfg_msg.h"

namespace {

// Longest output one conversion may give beyond its insert: the formatter
// caps widths and precisions at 4096.
constexpr std::size_t kMaxConversionOutput = 4096 + 64;

template <class T>
T number_of(const std::string& text) {
  T value{};
  std::from_chars(text.data() + 1, text.data() + text.size(), value);
  return value;
}

vd_insert insert_of(const std::string& item) {
  if (item.starts_with('d')) return vd_insert(number_of<long long>(item));
  if (item.starts_with('u')) return vd_insert(number_of<unsigned long long>(item));
  if (item == "n") return vd_insert(static_cast<const char*>(nullptr));
  return vd_insert(item);
}

void format_and_check(std::string_view format, const std::vector<vd_insert>& inserts, std::size_t insert_bytes) {
  const std::string out = vd_format(format, inserts);
  // Every conversion takes at least two bytes of the format.
  const std::size_t bound = format.size() + (format.size() / 2 + 1) * kMaxConversionOutput + insert_bytes;
  if (out.size() > bound) fuzz::fail("the output outgrows its format and inserts");
  if (format.find('%') == std::string_view::npos && out != format) fuzz::fail("a format without '%' changed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::prepare_reporting();
  const std::vector<std::string> pieces = fuzz::split(fuzz::as_text(data, size), '\0');
  // The strings stay in `pieces`, which the inserts refer to.
  std::vector<vd_insert> inserts;
  std::size_t insert_bytes = 0;
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    inserts.push_back(insert_of(pieces[i]));
    insert_bytes += pieces[i].size();
  }
  format_and_check(pieces[0], inserts, insert_bytes);
  const auto& catalog = zarncfg_svc_msg_table;
  const vd_msg_entry& message = catalog[size % catalog.size()];
  format_and_check(message.text, inserts, insert_bytes);
  // The printing path formats the same way and must cope alike.
  vd_printf_v(message.id, inserts);
  return 0;
}
