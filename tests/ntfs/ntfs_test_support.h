// Helpers of the NTFS tests: a small JSON reader for the answer keys and SHA-256 of streams.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/util/sha256.h"

namespace sorvani::test {

struct Json {
  enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  const Json* Get(const std::string& key) const;
  std::string Str(const std::string& key, const std::string& fallback = "") const;
  std::int64_t Int(const std::string& key, std::int64_t fallback = -1) const;
  bool Bool(const std::string& key, bool fallback = false) const;
};

std::optional<Json> ParseJson(const std::string& text);

}  // namespace sorvani::test
