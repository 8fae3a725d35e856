#pragma once
// The string table: texts a surface shows, looked up by key for one locale.
//
// A resource is UTF-8 text of lines "key = value". Blank lines and comment lines (first non-blank
// character "#") are skipped; surrounding white space of key and value is dropped, so "key=value"
// reads the same. A key is 1 to 128 ASCII letters, digits, "-", "_" or "."; the value is the rest of
// the line after the first "=" (possibly empty) and may itself hold "=". A later resource replaces
// the texts of keys it repeats; one resource naming a key twice is malformed.
//
// add_resource is all or nothing: a malformed resource is reported (the error names the line) and
// the table keeps exactly what it held before. Not safe for concurrent writes; reads after the
// table is filled may be shared.
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "interfaces/base/error.h"

namespace pelto::ui {

class I18nManager {
 public:
  // Sets the locale ("en-US": letters and digits in parts joined by "-" or "_") and empties the
  // table, which holds one locale's texts at a time.
  Result<void> init(std::string_view locale);
  // Adds every entry of one resource; returns how many it held. Fails before init.
  Result<size_t> add_resource(std::string_view text);
  // The text of `key`, or nothing when no resource gave it.
  std::optional<std::string_view> lookup(std::string_view key) const;

  const std::string& locale() const { return locale_; }
  size_t size() const { return table_.size(); }

 private:
  std::string locale_;
  std::map<std::string, std::string, std::less<>> table_;
};

}  // namespace pelto::ui
