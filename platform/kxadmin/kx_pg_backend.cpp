#include "kx_pg_backend.h"

#include <endian.h>

#include <atomic>
#include <charconv>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "kx_pg_connection.h"
#include "kx_pg_sql.h"

namespace kx {
namespace {

// Type numbers of the server's catalog (pg_type.oid).
constexpr Oid INT8_TYPE = 20;
constexpr Oid INT2_TYPE = 21;
constexpr Oid INT4_TYPE = 23;
constexpr Oid TEXT_TYPE = 25;
constexpr int BINARY = 1;

std::atomic<std::uint64_t> round_trips{0};

struct ResultFree {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

Result counted(PGresult* result) {
  round_trips.fetch_add(1, std::memory_order_relaxed);
  return Result(result);
}

class PgRow final : public Row {
 public:
  PgRow(const PGresult* result, int row) : result_(result), row_(row) {}
  int column_count() const override { return PQnfields(result_); }
  bool is_null(int col) const override { return PQgetisnull(result_, row_, col) != 0; }
  bool is_integer(int col) const override {
    const Oid type = PQftype(result_, col);
    return !is_null(col) && (type == INT8_TYPE || type == INT4_TYPE || type == INT2_TYPE);
  }
  std::optional<std::string> text(int col) const override {
    if (is_null(col)) return std::nullopt;
    return std::string(PQgetvalue(result_, row_, col), static_cast<std::size_t>(PQgetlength(result_, row_, col)));
  }
  // 0 for none, as SQLite reads it.
  std::int64_t integer(int col) const override {
    const char* text = PQgetvalue(result_, row_, col);
    std::int64_t value = 0;
    (void)std::from_chars(text, text + PQgetlength(result_, row_, col), value);  // not a number reads as 0
    return value;
  }

 private:
  const PGresult* result_;
  int row_;
};

// The statement's arguments as libpq takes them: text as its bytes and
// integers as 8 big-endian bytes, both in binary form, so that nothing is
// copied or converted and a NUL byte is refused by the server rather than
// cutting the text short.
class Arguments {
 public:
  explicit Arguments(std::span<const SqlArg> args) : integers_(args.size()) {
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (const auto* text = std::get_if<opt_str>(&args[i])) {
        types_.push_back(TEXT_TYPE);
        values_.push_back(!*text ? nullptr : (*text)->data() != nullptr ? (*text)->data() : "");
        lengths_.push_back(*text ? static_cast<int>((*text)->size()) : 0);
      } else {
        integers_[i] = htobe64(static_cast<std::uint64_t>(std::get<std::int64_t>(args[i])));
        types_.push_back(INT8_TYPE);
        values_.push_back(reinterpret_cast<const char*>(&integers_[i]));
        lengths_.push_back(sizeof(std::uint64_t));
      }
      formats_.push_back(BINARY);
    }
  }
  int count() const { return static_cast<int>(types_.size()); }
  const Oid* types() const { return types_.data(); }
  const char* const* values() const { return values_.data(); }
  const int* lengths() const { return lengths_.data(); }
  const int* formats() const { return formats_.data(); }
  // Statements are prepared for their argument types.
  std::string signature() const {
    std::string sig;
    for (const Oid type : types_) sig += type == TEXT_TYPE ? 't' : 'i';
    return sig;
  }

 private:
  std::vector<std::uint64_t> integers_;
  std::vector<Oid> types_;
  std::vector<const char*> values_;
  std::vector<int> lengths_;
  std::vector<int> formats_;
};

bool is_row_count_command(const char* status) {
  return std::strncmp(status, "INSERT", 6) == 0 || std::strncmp(status, "UPDATE", 6) == 0 ||
         std::strncmp(status, "DELETE", 6) == 0;
}

DbStatus status_of_error(const PGresult* result) {
  const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
  const std::string_view code = state != nullptr ? state : "";
  if (code == "40001" || code == "40P01") return DbStatus::conflict;  // serialization failure, deadlock
  if (code.starts_with("23")) return DbStatus::constraint;              // integrity constraint violation
  if (code == "55P03" || code == "57014") return DbStatus::busy;      // lock timeout, statement timeout
  return DbStatus::failed;
}

// The tables of a store, dropped when it is replaced; what refers to a
// table is dropped before it.
constexpr const char* DROP_STORE =
    "DROP TABLE IF EXISTS lease, undo, run, fault, action_group_member, action_group, action, acl_attribute, acl_special, "
    "acl_group, acl_user, grp_member, grp, \"user\", protobj, acl, objectspace, sec_master, meta";

class PgBackend final : public Backend {
 public:
  explicit PgBackend(PgConnection connection, bool read_only = false)
      : conn_(std::move(connection)), read_only_(read_only) {}

  DbStatus begin_write() override {
    return begin(read_only_ ? "BEGIN ISOLATION LEVEL SERIALIZABLE READ ONLY" : "BEGIN ISOLATION LEVEL SERIALIZABLE");
  }
  // A read-only snapshot never conflicts with writers.
  DbStatus begin_read() override { return begin("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"); }
  DbStatus commit() override;
  void rollback() override {
    const PGTransactionStatusType state = PQtransactionStatus(conn_.get());
    if (state == PQTRANS_INTRANS || state == PQTRANS_INERROR) (void)simple("ROLLBACK");
  }

  DbStatus execute(std::string_view sql, std::span<const SqlArg> args, const RowFn& row) override;
  std::int64_t changes() const override { return changes_; }
  std::string error_text() const override { return error_; }
  bool met_conflict() const override { return conflict_; }
  DbStatus clock_ms(std::int64_t& ms) override {
    return execute("SELECT (extract(epoch FROM clock_timestamp()) * 1000)::bigint", {},
                   [&](const Row& row) { ms = row.integer(0); });
  }

  std::span<const char* const> schema_steps() const override { return pg_schema_steps(); }
  DbStatus run_script(const char* sql) override { return simple(sql); }
  // Tables and their changes are transactional here: no step needs the
  // references between tables switched off.
  DbStatus schema_transaction(const std::function<bool()>& change) override;
  // The schema transaction that failed left nothing behind.
  void erase_store() override {}

  void replace_on_create() { replace_pending_ = true; }
  bool holds_store(bool& holds);

 private:
  DbStatus begin(const char* sql);
  DbStatus simple(const char* sql);
  DbStatus failed(const PGresult* result);
  // The name of the statement prepared for `sql` with these argument
  // types, preparing it on first use; none when it does not prepare.
  const std::string* prepared(std::string_view sql, const Arguments& args, DbStatus& status);

  PgConnection conn_;
  std::unordered_map<std::string, std::string> prepared_;
  std::int64_t changes_ = 0;
  std::string error_;
  bool conflict_ = false;
  bool replace_pending_ = false;
  bool read_only_ = false;
};

DbStatus PgBackend::failed(const PGresult* result) {
  const char* primary = result != nullptr ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  error_ = primary != nullptr ? primary : connection_error(conn_.get());
  const DbStatus status = result != nullptr && primary != nullptr ? status_of_error(result) : DbStatus::failed;
  if (status == DbStatus::conflict) conflict_ = true;
  return status;
}

DbStatus PgBackend::simple(const char* sql) {
  const Result result = counted(PQexec(conn_.get(), sql));
  const ExecStatusType state = PQresultStatus(result.get());
  if (state != PGRES_COMMAND_OK && state != PGRES_TUPLES_OK) return failed(result.get());
  return DbStatus::ok;
}

// A connection lost since the last call (the server restarted, the
// network cut it) is made again before a new transaction; the call that
// lost it has failed.
DbStatus PgBackend::begin(const char* sql) {
  conflict_ = false;
  if (conn_.lost()) {
    prepared_.clear();
    if (!conn_.reconnect(error_)) return DbStatus::failed;
  }
  return simple(sql);
}

// COMMIT of a transaction that an error ended answers ROLLBACK.
DbStatus PgBackend::commit() {
  const Result result = counted(PQexec(conn_.get(), "COMMIT"));
  if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) return failed(result.get());
  if (std::strcmp(PQcmdStatus(result.get()), "COMMIT") != 0) {
    error_ = "the transaction was rolled back";
    return DbStatus::failed;
  }
  return DbStatus::ok;
}

const std::string* PgBackend::prepared(std::string_view sql, const Arguments& args, DbStatus& status) {
  std::string key = args.signature();
  key += ':';
  key += sql;
  if (auto found = prepared_.find(key); found != prepared_.end()) return &found->second;
  std::string name = "kx" + std::to_string(prepared_.size() + 1);
  const Result result =
      counted(PQprepare(conn_.get(), name.c_str(), numbered_parameters(sql).c_str(), args.count(), args.types()));
  if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
    status = failed(result.get());
    return nullptr;
  }
  return &prepared_.emplace(std::move(key), std::move(name)).first->second;
}

DbStatus PgBackend::execute(std::string_view sql, std::span<const SqlArg> args, const RowFn& row) {
  const Arguments arguments(args);
  DbStatus status = DbStatus::ok;
  const std::string* name = prepared(sql, arguments, status);
  if (name == nullptr) return status;
  const Result result = counted(PQexecPrepared(conn_.get(), name->c_str(), arguments.count(), arguments.values(),
                                               arguments.lengths(), arguments.formats(), 0));
  const ExecStatusType state = PQresultStatus(result.get());
  if (state != PGRES_COMMAND_OK && state != PGRES_TUPLES_OK) return failed(result.get());
  if (const char* command = PQcmdStatus(result.get()); is_row_count_command(command)) {
    changes_ = std::strtoll(PQcmdTuples(result.get()), nullptr, 10);
  }
  // The whole result is here already, so a callback may run statements.
  if (row) {
    const int rows = PQntuples(result.get());
    for (int i = 0; i < rows; ++i) row(PgRow(result.get(), i));
  }
  return DbStatus::ok;
}

DbStatus PgBackend::schema_transaction(const std::function<bool()>& change) {
  DbStatus status = begin("BEGIN");
  if (status == DbStatus::ok && replace_pending_) status = simple(DROP_STORE);
  if (status == DbStatus::ok) status = change() ? commit() : DbStatus::failed;
  const std::string error = error_;
  rollback();
  error_ = error;
  if (status == DbStatus::ok) replace_pending_ = false;
  return status;
}

bool PgBackend::holds_store(bool& holds) {
  holds = false;
  return execute("SELECT 1 FROM pg_catalog.pg_tables WHERE schemaname = current_schema() AND tablename = 'meta'", {},
                 [&](const Row&) { holds = true; }) == DbStatus::ok;
}

}  // namespace

std::unique_ptr<Backend> open_pg_store(const std::string& uri, std::string& error, bool read_only) {
  std::optional<PgConnection> conn = PgConnection::connect(uri, error);
  if (!conn) return nullptr;
  return std::make_unique<PgBackend>(std::move(*conn), read_only);
}

std::unique_ptr<Backend> create_pg_store(const std::string& uri, bool replace, bool& exists, std::string& error) {
  exists = false;
  std::optional<PgConnection> conn = PgConnection::connect(uri, error);
  if (!conn) return nullptr;
  auto backend = std::make_unique<PgBackend>(std::move(*conn));
  if (!backend->holds_store(exists)) {
    error = backend->error_text();
    return nullptr;
  }
  if (exists && !replace) return nullptr;
  if (exists) backend->replace_on_create();
  return backend;
}

std::uint64_t pg_round_trips() { return round_trips.load(std::memory_order_relaxed); }

}  // namespace kx
