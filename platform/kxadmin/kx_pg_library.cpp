#include "kx_pg_library.h"

#include <dlfcn.h>
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace kx {
namespace {

// libpq's own function `name`.  Every function but the two that parse or
// connect is only reached with what they returned, so libpq is loaded by
// then; a libpq without one of its functions is no libpq at all.
template <typename Function>
Function* real(const char* name) {
  void* found = pg_library().handle != nullptr ? ::dlsym(pg_library().handle, name) : nullptr;
  if (found == nullptr) {
    std::fprintf(stderr, "%s has no function %s\n", kPgLibraryFile, name);
    std::abort();
  }
  return reinterpret_cast<Function*>(found);
}

// Passes a call of our `Own` on to libpq's function `name`, looked up at
// the first call.
template <auto Own, typename... Args>
auto pass_on(const char* name, Args... args) {
  static const auto function = real<std::remove_pointer_t<decltype(Own)>>(name);
  return function(args...);
}

}  // namespace

PgLibrary load_pg_library(const char* file) {
  PgLibrary library;
  // RTLD_LOCAL: libpq's symbols do not join the program's, which has its own PQ functions.
  library.handle = ::dlopen(file, RTLD_NOW | RTLD_LOCAL);
  if (library.handle == nullptr) {
    const char* why = ::dlerror();
    library.error = std::string("cannot load ") + file + ": " + (why != nullptr ? why : "unknown error");
  }
  return library;
}

const PgLibrary& pg_library() {
  static const PgLibrary libpq = load_pg_library(kPgLibraryFile);
  return libpq;
}

}  // namespace kx

// The functions the store calls, each looked up once.
extern "C" {

PQconninfoOption* PQconninfoParse(const char* conninfo, char** errmsg) {
  if (kx::pg_library().handle == nullptr) {
    // Freed by PQfreemem, as libpq's own message would be.
    if (errmsg != nullptr) *errmsg = ::strdup(kx::pg_library().error.c_str());
    return nullptr;
  }
  return kx::pass_on<&PQconninfoParse>("PQconninfoParse", conninfo, errmsg);
}

void PQfreemem(void* ptr) {
  if (kx::pg_library().handle == nullptr) {
    std::free(ptr);  // what PQconninfoParse above made
    return;
  }
  return kx::pass_on<&PQfreemem>("PQfreemem", ptr);
}

void PQconninfoFree(PQconninfoOption* options) { return kx::pass_on<&PQconninfoFree>("PQconninfoFree", options); }

PGconn* PQconnectdbParams(const char* const* keywords, const char* const* values, int expand_dbname) {
  return kx::pass_on<&PQconnectdbParams>("PQconnectdbParams", keywords, values, expand_dbname);
}

void PQfinish(PGconn* conn) { return kx::pass_on<&PQfinish>("PQfinish", conn); }

void PQreset(PGconn* conn) { return kx::pass_on<&PQreset>("PQreset", conn); }

ConnStatusType PQstatus(const PGconn* conn) { return kx::pass_on<&PQstatus>("PQstatus", conn); }

PGTransactionStatusType PQtransactionStatus(const PGconn* conn) {
  return kx::pass_on<&PQtransactionStatus>("PQtransactionStatus", conn);
}

const char* PQparameterStatus(const PGconn* conn, const char* param_name) {
  return kx::pass_on<&PQparameterStatus>("PQparameterStatus", conn, param_name);
}

char* PQerrorMessage(const PGconn* conn) { return kx::pass_on<&PQerrorMessage>("PQerrorMessage", conn); }

PQnoticeProcessor PQsetNoticeProcessor(PGconn* conn, PQnoticeProcessor proc, void* arg) {
  return kx::pass_on<&PQsetNoticeProcessor>("PQsetNoticeProcessor", conn, proc, arg);
}

PGresult* PQexec(PGconn* conn, const char* query) { return kx::pass_on<&PQexec>("PQexec", conn, query); }

PGresult* PQprepare(PGconn* conn, const char* stmt_name, const char* query, int n_params, const Oid* param_types) {
  return kx::pass_on<&PQprepare>("PQprepare", conn, stmt_name, query, n_params, param_types);
}

PGresult* PQexecPrepared(PGconn* conn, const char* stmt_name, int n_params, const char* const* param_values,
                         const int* param_lengths, const int* param_formats, int result_format) {
  return kx::pass_on<&PQexecPrepared>("PQexecPrepared", conn, stmt_name, n_params, param_values, param_lengths,
                                      param_formats, result_format);
}

ExecStatusType PQresultStatus(const PGresult* res) { return kx::pass_on<&PQresultStatus>("PQresultStatus", res); }

char* PQresultErrorField(const PGresult* res, int field_code) {
  return kx::pass_on<&PQresultErrorField>("PQresultErrorField", res, field_code);
}

void PQclear(PGresult* res) { return kx::pass_on<&PQclear>("PQclear", res); }

int PQntuples(const PGresult* res) { return kx::pass_on<&PQntuples>("PQntuples", res); }

int PQnfields(const PGresult* res) { return kx::pass_on<&PQnfields>("PQnfields", res); }

Oid PQftype(const PGresult* res, int field_num) { return kx::pass_on<&PQftype>("PQftype", res, field_num); }

char* PQgetvalue(const PGresult* res, int tup_num, int field_num) {
  return kx::pass_on<&PQgetvalue>("PQgetvalue", res, tup_num, field_num);
}

int PQgetlength(const PGresult* res, int tup_num, int field_num) {
  return kx::pass_on<&PQgetlength>("PQgetlength", res, tup_num, field_num);
}

int PQgetisnull(const PGresult* res, int tup_num, int field_num) {
  return kx::pass_on<&PQgetisnull>("PQgetisnull", res, tup_num, field_num);
}

char* PQcmdStatus(PGresult* res) { return kx::pass_on<&PQcmdStatus>("PQcmdStatus", res); }

char* PQcmdTuples(PGresult* res) { return kx::pass_on<&PQcmdTuples>("PQcmdTuples", res); }

}  // extern "C"
