// Starting and stopping the tests' PostgreSQL servers through scripts/pg-server.
#include "support/pg_server.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "companions/store/pg_db.h"

namespace tarvex::test_support {

namespace {

std::string new_info_path() {
  static std::atomic<int> counter{0};
  return "/tmp/tarvex-pg-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".info";
}

void run_script(const std::string& verb, const std::string& info) {
  std::string command = std::string(TARVEX_PG_SERVER) + " " + verb + " '" + info + "'";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

}  // namespace

PgServer::PgServer() : PgServer(new_info_path(), true) {}

PgServer::PgServer(const std::string& info, bool owned) : info_(info), owned_(owned) {
  if (owned_) run_script("start", info_);
  std::ifstream in(info_);
  if (!(in >> dir_ >> port_)) throw std::runtime_error("no PostgreSQL server in " + info_);
}

PgServer::~PgServer() {
  if (owned_) stop();
}

void PgServer::stop() {
  run_script("stop", info_);
}

void PgServer::exec(const std::string& database, const std::string& sql) const {
  PgSession(*this, database).exec(sql);
}

PgSession::PgSession(const PgServer& server, const std::string& database) {
  std::string port = std::to_string(server.port());
  const char* keys[] = {"host", "port", "dbname", "user", nullptr};
  const char* values[] = {server.socket_dir().c_str(), port.c_str(), database.c_str(), "postgres",
                          nullptr};
  conn_ = PQconnectdbParams(keys, values, 0);
  if (PQstatus(conn_) != CONNECTION_OK) {
    std::string message = PQerrorMessage(conn_);
    PQfinish(conn_);
    throw std::runtime_error("cannot connect: " + message);
  }
}

PgSession::~PgSession() {
  PQfinish(conn_);
}

void PgSession::exec(const std::string& sql) {
  value(sql);
}

std::string PgSession::value(const std::string& sql) {
  companions::store::PgResult result(PQexec(conn_, sql.c_str()));
  EXPECT_TRUE(result.ok()) << sql << ": " << PQerrorMessage(conn_);
  return result.rows() > 0 && PQnfields(result.get()) > 0 ? PQgetvalue(result.get(), 0, 0) : "";
}

const PgServer& shared_pg_server() {
  // Under CTest the fixture's server; a test program run alone starts one for itself.
  static const std::unique_ptr<PgServer> server = [] {
    const char* info = std::getenv("TARVEX_PG_INFO");
    return info && std::ifstream(info).good() ? std::unique_ptr<PgServer>(new PgServer(info, false))
                                              : std::make_unique<PgServer>();
  }();
  return *server;
}

PgDatabase::PgDatabase(const PgServer& server) : server_(server) {
  static std::atomic<int> counter{0};
  name_ = "t_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
  // A collation that sorts unlike code points, so that a query that relies on the default
  // collation for code-point order is caught.
  server_.exec("postgres", "CREATE DATABASE " + name_ +
                               " TEMPLATE template0 LOCALE_PROVIDER icu ICU_LOCALE 'en-US'");
}

PgDatabase::~PgDatabase() {
  try {
    PgSession(server_, "postgres").exec("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
  } catch (const std::exception&) {
    // The test stopped the server: the database went with it.
  }
}

std::string PgDatabase::connection_text() const {
  return "Driver=PostgreSQL;Host=" + server_.socket_dir() +
         ";Port=" + std::to_string(server_.port()) + ";Database=" + name_ + ";User=postgres";
}

}  // namespace tarvex::test_support
