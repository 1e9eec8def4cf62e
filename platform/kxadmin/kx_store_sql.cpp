// The SQL building blocks of the store operations, and the fault table.
#include <iomanip>
#include <sstream>
#include <string>

#include "kx_fault_apis.h"
#include "kx_schema.h"
#include "kx_store.h"

namespace kx {
namespace {

std::string hex_code(std::uint32_t code) {
  std::ostringstream out;
  out << "0x" << std::hex << std::setw(8) << std::setfill('0') << code;
  return out.str();
}

std::string in_quotes(std::string_view name) { return "\"" + std::string(name) + "\""; }

}  // namespace

Outcome Store::query(std::string_view sql, std::initializer_list<SqlArg> args, const RowFn& row) {
  const DbStatus status = db_->execute(sql, std::span<const SqlArg>(args.begin(), args.size()), row);
  return status == DbStatus::ok ? success() : store_error();
}

Outcome Store::run(std::string_view sql, std::initializer_list<SqlArg> args) { return query(sql, args, nullptr); }

Outcome Store::names_of(std::string_view sql, std::vector<std::string>& names) {
  names.clear();
  return query(sql, {}, [&](const Row& row) { names.push_back(row.text(0).value_or("")); });
}

// Table names come from our own code, never from a caller.
Outcome Store::must_exist(std::string_view table, std::string_view what, std::string_view key, std::uint32_t code) {
  bool found = false;
  const std::string sql = "SELECT 1 FROM " + sql_name(table) + " WHERE name = ?";
  if (Outcome r = query(sql, {key}, [&](const Row&) { found = true; }); !r.ok()) return r;
  if (found) return success();
  return failure(code, std::string(what) + " " + in_quotes(key) + " does not exist");
}

Outcome Store::must_not_exist(std::string_view table, std::string_view what, std::string_view key) {
  const Outcome missing = must_exist(table, what, key, CODE_NOT_FOUND);
  if (missing.code == CODE_NOT_FOUND) return success();
  if (!missing.ok()) return missing;
  return failure(CODE_EXISTS, std::string(what) + " " + in_quotes(key) + " already exists");
}

Outcome Store::insert_new(std::string_view sql, std::initializer_list<SqlArg> args, std::string_view what,
                          std::string_view key) {
  if (Outcome r = run(sql, args); !r.ok()) return r;
  if (changes() > 0) return success();
  return failure(CODE_EXISTS, std::string(what) + " " + in_quotes(key) + " already exists");
}

// The oldest matching fault is used first; a fault for a named object
// matches only calls about that object, one without a name matches all.
Outcome Store::take_fault(std::string_view api, opt_str name, std::optional<Fault>& fault) {
  std::int64_t id = 0;
  Outcome r = query("SELECT id, code, reason, remaining FROM fault WHERE api = ? AND (name IS NULL OR name = ?) "
                    "ORDER BY id LIMIT 1",
                    {api, name}, [&](const Row& row) {
                      id = row.integer(0);
                      fault = Fault{std::string(api), std::nullopt, static_cast<std::uint32_t>(row.integer(1)),
                                    static_cast<int>(row.integer(2)), row.integer(3)};
                    });
  if (!r.ok() || !fault) return r;
  if (fault->count > 1) return run("UPDATE fault SET remaining = remaining - 1 WHERE id = ?", {id});
  return run("DELETE FROM fault WHERE id = ?", {id});
}

Outcome Store::fault_add(const Fault& fault) {
  const std::optional<std::string> api = fault_api_name(fault.api);
  if (!api) return failure(CODE_BAD_ARGUMENT, "no function " + in_quotes(fault.api) + " takes faults");
  if (fault.count < 1) return failure(CODE_BAD_ARGUMENT, "a fault needs a count of at least 1");
  if (fault.code == 0) return failure(CODE_BAD_ARGUMENT, "a fault needs a nonzero code");
  opt_str name;
  if (fault.name) name = *fault.name;
  return run("INSERT INTO fault(api, name, code, reason, remaining) VALUES(?, ?, ?, ?, ?)",
             {std::string_view(*api), name, std::int64_t{fault.code}, std::int64_t{fault.reason}, fault.count});
}

Outcome Store::faults_clear() { return run("DELETE FROM fault", {}); }

Outcome Store::fault_lines(std::vector<std::string>& lines) {
  lines.clear();
  return query("SELECT api, name, code, reason, remaining FROM fault ORDER BY id", {}, [&](const Row& row) {
    const std::optional<std::string> name = row.text(1);
    lines.push_back(row.text(0).value_or("") + (name ? " " + *name : "") + " --code " +
                    hex_code(static_cast<std::uint32_t>(row.integer(2))) + " --reason " +
                    std::to_string(row.integer(3)) + " --count " + std::to_string(row.integer(4)));
  });
}

}  // namespace kx
