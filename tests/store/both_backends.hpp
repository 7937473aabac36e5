// Tests of the store's interface that run on both backends: SQLite in a
// temporary folder, PostgreSQL in a fresh database of one throw-away cluster
// that the test program shares.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "store/record_store.hpp"
#include "store/sql_connection.hpp"
#include "support/pg_cluster.hpp"
#include "support/temp_folder.hpp"

namespace statvtk::store {

// The cluster of this test program, started on first use; null (with the
// reason in the failure) when it cannot start.
inline test::PgCluster* SharedCluster() {
  static std::unique_ptr<test::PgCluster> cluster = [] {
    auto c = std::make_unique<test::PgCluster>();
    if (!c->Init()) {
      ADD_FAILURE() << "PostgreSQL cluster: " << c->Log();
      c.reset();
    }
    return c;
  }();
  return cluster.get();
}

// A new empty database of the shared cluster.
inline std::string NewPgDatabase() {
  static int counter = 0;
  const std::string db = "both" + std::to_string(++counter);
  return SharedCluster() && SharedCluster()->CreateDatabase(db) ? db : std::string();
}

class BothBackends : public ::testing::TestWithParam<const char*> {
 protected:
  bool Postgres() const { return std::string(GetParam()) == "postgresql"; }
  void SetUp() override {
    if (Postgres()) {
      db_ = NewPgDatabase();
      ASSERT_FALSE(db_.empty());
      database_ = SharedCluster()->Url(db_);
    } else {
      database_ = "collect.sqlite";
    }
    auto s = Open();
    ASSERT_TRUE(s) << s.error().reason;
    store_ = std::move(*s);
  }
  // Another connection to the same store.
  Result<std::unique_ptr<RecordStore>> Open(const StoreOptions& options = {}) {
    return OpenRecordStore(database_, dir_.Path(), options);
  }
  // A count straight from the database, past the store's interface.
  std::string Count(const std::string& table) { return Sql("SELECT COUNT(*) FROM " + table); }
  // A statement run past the store's interface on its database: the first
  // value of its answer (or the reason it failed).
  std::string Sql(const std::string& statement) { return SqlOn(database_, statement); }
  std::string SqlOn(const std::string& database, const std::string& statement);
  // Database= of a new empty database of this backend (a file name in the
  // test's folder, or a PostgreSQL URL); a connection to it past the store.
  std::string NewDatabase(const std::string& name) {
    if (!Postgres()) return name + ".sqlite";
    const std::string db = NewPgDatabase();
    return db.empty() ? std::string() : SharedCluster()->Url(db);
  }
  Result<std::unique_ptr<SqlConnection>> Connect(const std::string& database);

  link_test::TempFolder dir_;
  std::string db_, database_;
  std::unique_ptr<RecordStore> store_;
};

}  // namespace statvtk::store
