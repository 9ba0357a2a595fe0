#include "tolvane/support/registry.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tolvane/base/error.h"
#include "tolvane/support/registry_places.h"
#include "tolvane/support/settings_file.h"

namespace tolvane {
namespace {

constexpr int kBusyTimeoutMs = 10000;
constexpr int kSchemaVersion = 1;

// One row per value; `value_data` holds text as TEXT and binary as BLOB, so that the sqlite3
// shell shows both plainly. BLOB affinity keeps SQLite from converting either.
constexpr const char* kCreateSchema =
    "CREATE TABLE IF NOT EXISTS reg_values ("
    " key_path TEXT NOT NULL,"
    " value_name TEXT NOT NULL,"
    " value_type TEXT NOT NULL CHECK (value_type IN ('text', 'binary')),"
    " value_data BLOB NOT NULL,"
    " PRIMARY KEY (key_path, value_name)"
    ") WITHOUT ROWID;"
    "PRAGMA user_version = 1;";

// An open connection to the settings store, closed (and any open transaction rolled back) when
// it goes out of scope.
class Store {
 public:
  explicit Store(std::filesystem::path path) : path_(std::move(path)) {
    // Never SQLITE_OPEN_CREATE: WriteRegValue creates the file with its permissions first, and
    // ReadRegValue must not create it at all.
    // The destructor does not run when this throws: close the connection here (SQLite
    // allocates one even when opening fails), or each failure leaks it and its open file.
    try {
      // NOFOLLOW: the file was checked to be no link (CheckStorePath); should one take its
      // place meanwhile, SQLite refuses it too.
      const int rc = sqlite3_open_v2(path_.c_str(), &db_,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
      if (rc != SQLITE_OK) Fail(rc, "opening it");
      sqlite3_extended_result_codes(db_, 1);
      sqlite3_busy_timeout(db_, kBusyTimeoutMs);
      // The file is the user's own, but its schema is still not trusted to run functions.
      sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
      // Replaced values may be key material: overwrite freed space instead of leaving it.
      Exec("PRAGMA secure_delete = ON; PRAGMA synchronous = FULL", "configuring it");
    } catch (...) {
      sqlite3_close_v2(db_);
      throw;
    }
  }
  ~Store() {
    if (db_ != nullptr && sqlite3_get_autocommit(db_) == 0) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    sqlite3_close_v2(db_);
  }
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  sqlite3* db() const { return db_; }

  void Exec(const char* sql, const char* doing) {
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) Fail(rc, doing);
  }

  int SchemaVersion() {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &stmt, nullptr);
    int version = 0;
    if (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      version = sqlite3_column_int(stmt, 0);
      rc = SQLITE_OK;
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_OK) Fail(rc, "reading its version");
    if (version > kSchemaVersion) {
      throw Error(kErrBadFileFormat,
                  Describe("it was written by a newer program (schema " + std::to_string(version) +
                           "); it was left unchanged"));
    }
    // Version 0 is a store that has no table yet (the empty file WriteRegValue creates), or
    // another program's database, whose tables are not ours to add to.
    if (version == 0 && HasTables()) {
      throw Error(kErrBadFileFormat,
                  Describe("it is another program's database (it holds tables, none of them "
                           "ours); it was left unchanged"));
    }
    return version;
  }

  // Throws the error SQLite reported, as a tolvane::Error that names the file.
  [[noreturn]] void Fail(int rc, const char* doing) {
    const std::string detail = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    switch (rc & 0xFF) {
      case SQLITE_NOTADB:
      case SQLITE_CORRUPT:
        throw Error(kErrBadFileFormat, Describe("the file is not a valid settings database (" +
                                                detail + "); it was left unchanged"));
      case SQLITE_BUSY:
      case SQLITE_LOCKED:
        throw Error(kErrPermissionDenied,
                    Describe("another process kept it locked for " +
                             std::to_string(kBusyTimeoutMs / 1000) + " seconds while " + doing));
      case SQLITE_FULL:
        throw Error(kErrDiskFull, Describe(std::string("the disk is full while ") + doing));
      case SQLITE_NOMEM:
        throw OutOfMemoryError();
      case SQLITE_TOOBIG:
        throw Error(kErrOverflow, Describe(std::string("the value is too large to store")));
      case SQLITE_READONLY:
      case SQLITE_PERM:
      case SQLITE_AUTH:
        throw Error(kErrPermissionDenied,
                    Describe(std::string("no permission for ") + doing + " (" + detail + ")"));
      default:
        throw Error(kErrPathAccess,
                    Describe(std::string("failure while ") + doing + " (" + detail + ")"));
    }
  }

 private:
  bool HasTables() {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db_, "SELECT count(*) FROM sqlite_schema", -1, &stmt, nullptr);
    bool tables = false;
    if (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      tables = sqlite3_column_int(stmt, 0) > 0;
      rc = SQLITE_OK;
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_OK) Fail(rc, "reading its tables");
    return tables;
  }

  std::string Describe(const std::string& what) const {
    return "Settings store \"" + path_.string() + "\": " + what;
  }

  std::filesystem::path path_;
  sqlite3* db_ = nullptr;
};

// A prepared statement, finalized when it goes out of scope.
class Statement {
 public:
  Statement(Store& store, const char* sql) : store_(store) {
    const int rc = sqlite3_prepare_v2(store_.db(), sql, -1, &stmt_, nullptr);
    if (rc != SQLITE_OK) store_.Fail(rc, "preparing a statement");
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  sqlite3_stmt* get() const { return stmt_; }

  // The data stays the caller's; it must outlive the statement (SQLITE_STATIC).
  void BindText(int index, std::string_view text) {
    // An empty view may have no data pointer, which SQLite would store as NULL.
    const char* data = text.data() != nullptr ? text.data() : "";
    Check(sqlite3_bind_text64(stmt_, index, data, text.size(), SQLITE_STATIC, SQLITE_UTF8),
          "storing a value");
  }
  void BindBlob(int index, const std::vector<std::uint8_t>& bytes) {
    // A zero-length blob needs a non-null pointer, or SQLite stores NULL.
    static const std::uint8_t kNone = 0;
    const void* data = bytes.empty() ? &kNone : bytes.data();
    Check(sqlite3_bind_blob64(stmt_, index, data, bytes.size(), SQLITE_STATIC), "storing a value");
  }
  void BindInt(int index, std::int64_t number) {
    Check(sqlite3_bind_int64(stmt_, index, number), "preparing a statement");
  }
  // True while a row is ready.
  bool Step(const char* doing) {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) store_.Fail(rc, doing);
    return false;
  }

 private:
  void Check(int rc, const char* doing) {
    if (rc != SQLITE_OK) store_.Fail(rc, doing);
  }

  Store& store_;
  sqlite3_stmt* stmt_ = nullptr;
};

// The store's own folders (Brennix and Tolvane under the configuration folder, which may be
// anywhere the user likes) and the file itself must be the user's own: no symbolic link, a
// folder and a regular file, owned by the effective user (root's own, for root). Otherwise a
// link planted there, or a file of someone else's, would be written through or have its mode
// changed, with root's rights when root runs with a user's environment. Anything else is
// refused before anything is changed. Returns false when one of them does not exist yet (or,
// when `creating`, cannot exist, which creating it then reports).
bool CheckStorePath(const std::filesystem::path& file, bool creating) {
  const std::filesystem::path tolvane = file.parent_path();
  const std::filesystem::path checked[] = {tolvane.parent_path(), tolvane, file};
  for (const std::filesystem::path& path : checked) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
      if (errno == ENOENT || (creating && errno == ENOTDIR)) return false;
      throw Error(kErrPathAccess,
                  "Settings store \"" + file.string() + "\": " + std::strerror(errno));
    }
    const bool is_file = path == file;
    const char* wrong = nullptr;
    if (S_ISLNK(info.st_mode)) {
      wrong = "is a symbolic link";
    } else if (is_file ? !S_ISREG(info.st_mode) : !S_ISDIR(info.st_mode)) {
      wrong = is_file ? "is not a regular file" : "is not a folder";
    } else if (info.st_uid != geteuid()) {
      wrong = "belongs to another user";
    }
    if (wrong != nullptr) {
      throw Error(kErrPathAccess, "Settings store \"" + file.string() + "\": \"" + path.string() +
                                      "\" " + wrong + "; it was left unchanged");
    }
  }
  return true;
}

// The store with a transaction begun by `begin`, or nothing when there is no store or no table
// yet; never creates either.
std::unique_ptr<Store> OpenExistingStore(const char* begin) {
  const std::filesystem::path path = SettingsFilePath();
  if (!CheckStorePath(path, false)) return nullptr;
  auto store = std::make_unique<Store>(path);
  store->Exec(begin, "starting a transaction");
  if (store->SchemaVersion() == 0) return nullptr;
  return store;
}

// ASCII letters compared without case, as SQLite's NOCASE compares them.
bool SameIgnoringCase(std::string_view a, std::string_view b) {
  auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return fold(x) == fold(y); });
}

// The key_path column of a place: the key's full path with its trailing backslash.
std::string KeyPathOf(const RegPlace& place) {
  std::string path(kRegistryKey);
  if (!place.subkey.empty()) path += place.subkey + "\\";
  return path;
}

// Column `column` of `row` as text.
std::string_view ColumnText(sqlite3_stmt* row, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
  return {text != nullptr ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(row, column))};
}

// The rows of `place`'s value, matched without regard to case.
constexpr const char* kMatch =
    " FROM reg_values WHERE key_path = ?1 COLLATE NOCASE AND value_name = ?2 COLLATE NOCASE";

// Calls `use` with the `columns` of `place`'s row and returns true, or returns false when there
// is none. Older stores may hold several names that differ in case only; the one spelled as
// asked is taken first.
template <typename Use>
bool WithMatch(Store& store, const RegPlace& place, const char* columns, Use use) {
  Statement select(store, (std::string("SELECT ") + columns + kMatch +
                           " ORDER BY key_path = ?1 AND value_name = ?2 DESC LIMIT 1")
                              .c_str());
  const std::string key_path = KeyPathOf(place);
  select.BindText(1, key_path);
  select.BindText(2, place.value);
  if (!select.Step("reading a value")) return false;
  use(select.get());
  return true;
}

// The value at `place`, or nothing.
std::optional<RegValue> Fetch(Store& store, const RegPlace& place) {
  std::optional<RegValue> value;
  WithMatch(store, place, "value_type, value_data", [&value](sqlite3_stmt* row) {
    if (ColumnText(row, 0) == "binary") {
      const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(row, 1));
      const auto size = static_cast<std::size_t>(sqlite3_column_bytes(row, 1));
      value.emplace(std::vector<std::uint8_t>(data, data + size));
    } else {
      value.emplace(std::string(ColumnText(row, 1)));
    }
  });
  return value;
}

bool Remove(Store& store, const RegPlace& place) {
  Statement erase(store, (std::string("DELETE") + kMatch).c_str());
  const std::string key_path = KeyPathOf(place);
  erase.BindText(1, key_path);
  erase.BindText(2, place.value);
  erase.Step("deleting a value");
  return sqlite3_changes(store.db()) > 0;
}

// `place` spelled as the store already spells it: each subkey and the value keep the case they
// were first stored with, as in the registry.
RegPlace SpelledAsStored(Store& store, const RegPlace& place) {
  RegPlace spelled = place;
  std::vector<std::string> key_paths;
  Statement keys(store, "SELECT DISTINCT key_path FROM reg_values ORDER BY key_path");
  while (keys.Step("listing keys")) key_paths.emplace_back(ColumnText(keys.get(), 0));
  // Each subkey path, shortest first, takes the spelling of a stored key it begins.
  const std::size_t root = kRegistryKey.size();
  for (std::size_t end = 0; !spelled.subkey.empty(); ++end) {
    end = spelled.subkey.find('\\', end);
    const std::size_t length = std::min(end, spelled.subkey.size());
    const std::string prefix = std::string(kRegistryKey) + spelled.subkey.substr(0, length) + "\\";
    for (const std::string& stored : key_paths) {
      if (stored.size() >= prefix.size() &&
          SameIgnoringCase(std::string_view(stored).substr(0, prefix.size()), prefix)) {
        spelled.subkey.replace(0, length, stored, root, length);
        break;
      }
    }
    if (end == std::string::npos) break;
  }
  WithMatch(store, place, "value_name",
            [&spelled](sqlite3_stmt* row) { spelled.value = ColumnText(row, 0); });
  return spelled;
}

void Insert(Store& store, const RegPlace& place, const RegValue& value) {
  const RegPlace spelled = SpelledAsStored(store, place);
  Remove(store, place);
  Statement insert(store,
                   "INSERT INTO reg_values (key_path, value_name, value_type, value_data)"
                   " VALUES (?1, ?2, ?3, ?4)");
  const std::string key_path = KeyPathOf(spelled);
  insert.BindText(1, key_path);
  insert.BindText(2, spelled.value);
  if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value)) {
    insert.BindText(3, "binary");
    insert.BindBlob(4, *bytes);
  } else {
    insert.BindText(3, "text");
    insert.BindText(4, std::get<std::string>(value));
  }
  insert.Step("storing a value");
}

}  // namespace

void WriteRegValue(std::string_view name, const RegValue& value) {
  // Refused names are refused before the store is touched.
  const RegWritePlaces places = WritePlacesOf(name, std::holds_alternative<std::string>(value));
  const std::filesystem::path path = SettingsFilePath();
  CheckStorePath(path, true);
  CreatePrivateFile(path);
  Store store(path);
  // IMMEDIATE takes the write lock up front, so concurrent writers queue on the busy timeout
  // instead of failing when they would upgrade a read lock.
  store.Exec("BEGIN IMMEDIATE", "starting a transaction");
  if (store.SchemaVersion() == 0) store.Exec(kCreateSchema, "creating its table");
  Insert(store, places.target, value);
  if (places.cleared) Remove(store, *places.cleared);
  store.Exec("COMMIT", "committing");
}

std::optional<RegValue> ReadRegValue(std::string_view name) {
  const std::vector<RegPlace> places = LookupPlacesOf(name);
  std::unique_ptr<Store> store = OpenExistingStore("BEGIN");
  if (!store) return std::nullopt;
  for (const RegPlace& place : places) {
    if (auto value = Fetch(*store, place)) return value;
  }
  return std::nullopt;
}

std::vector<RegValueInfo> ListRegValues() {
  std::vector<RegValueInfo> values;
  std::unique_ptr<Store> store = OpenExistingStore("BEGIN");
  if (!store) return values;
  // Rows of other keys than ours (none are written) are left out. The name is the key's path
  // below ours followed by the value's name; BINARY collation sorts by bytes, as promised.
  Statement select(*store,
                   "SELECT substr(key_path, ?2 + 1) || value_name AS name, value_type"
                   " FROM reg_values WHERE substr(key_path, 1, ?2) = ?1"
                   " ORDER BY name, value_type = 'binary'");
  select.BindText(1, kRegistryKey);
  select.BindInt(2, static_cast<std::int64_t>(kRegistryKey.size()));
  while (select.Step("listing values")) {
    values.push_back(
        {std::string(ColumnText(select.get(), 0)), ColumnText(select.get(), 1) == "binary"});
  }
  return values;
}

bool DeleteRegValue(std::string_view name) {
  const std::vector<RegPlace> places = LookupPlacesOf(name);
  std::unique_ptr<Store> store = OpenExistingStore("BEGIN IMMEDIATE");
  if (!store) return false;
  bool deleted = false;
  for (const RegPlace& place : places) deleted = Remove(*store, place) || deleted;
  store->Exec("COMMIT", "committing");
  return deleted;
}

}  // namespace tolvane
