// PostgreSQL servers for the tests: the run's shared throwaway server (started by CTest before the
// tests and stopped after them, or by the first test that asks when a program runs alone), a
// private one for a test that stops it, and scratch databases on either. No test touches a
// server it did not start.
#pragma once

#include <string>

struct pg_conn;

namespace tarvex::test_support {

class PgServer {
 public:
  // Starts a server of its own, stopped and removed by the destructor.
  PgServer();
  ~PgServer();
  PgServer(const PgServer&) = delete;
  PgServer& operator=(const PgServer&) = delete;

  const std::string& socket_dir() const { return dir_; }
  int port() const { return port_; }
  // Runs `sql` as the superuser in `database`; fails the test on an error.
  void exec(const std::string& database, const std::string& sql) const;
  void stop();

 private:
  explicit PgServer(const std::string& info, bool owned);
  friend const PgServer& shared_pg_server();
  std::string info_;
  std::string dir_;
  int port_ = 0;
  bool owned_ = true;
};

const PgServer& shared_pg_server();

// One open connection as the superuser, for a test that holds a lock across other work.
class PgSession {
 public:
  PgSession(const PgServer& server, const std::string& database);
  ~PgSession();
  PgSession(const PgSession&) = delete;
  PgSession& operator=(const PgSession&) = delete;
  // Runs `sql`; fails the test on an error.
  void exec(const std::string& sql);
  // The first column of the first row, "" when there is none.
  std::string value(const std::string& sql);

 private:
  pg_conn* conn_;
};

// A database of its own on `server`, dropped at the end with any connection still in it.
class PgDatabase {
 public:
  explicit PgDatabase(const PgServer& server = shared_pg_server());
  ~PgDatabase();
  PgDatabase(const PgDatabase&) = delete;
  PgDatabase& operator=(const PgDatabase&) = delete;

  const std::string& name() const { return name_; }
  // Connection text for the superuser on the server's socket.
  std::string connection_text() const;
  void exec(const std::string& sql) const { server_.exec(name_, sql); }

 private:
  const PgServer& server_;
  std::string name_;
};

}  // namespace tarvex::test_support
