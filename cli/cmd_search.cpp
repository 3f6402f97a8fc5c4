// `sorvani search SOURCE [--name TEXT [--exact]] [--min-kb N] [--max-kb N]
//                 [--created|--modified FROM TO] [--json] [--cache]`
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "app/search_job.h"
#include "app/session.h"
#include "app/volume_path.h"
#include "cli/catalogue_common.h"
#include "cli/cmd_catalogue.h"
#include "search/search_thread.h"

namespace sorvani::cli {
namespace {

const char kUsage[] =
    "usage: sorvani search SOURCE [--name TEXT [--exact]] [--min-kb N] [--max-kb N] "
    "[--created|--modified FROM TO] [--path FOLDER] [--json] [--cache]";

// A size bound typed as a number of KB: digits only, within 32 bits. False for anything else
// (a sign, a unit, a fraction, an empty word), which the command refuses.
bool ParseKb(const std::string& text, std::uint32_t& kb) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > std::numeric_limits<std::uint32_t>::max()) return false;
  kb = static_cast<std::uint32_t>(value);
  return true;
}

// A date bound written exactly as YYYY-MM-DD[THH:MM[:SS]], naming a day that exists, from
// 1900 on (the date parser turns earlier years into 1970, which would bound the search
// somewhere else than asked). On success `sortable` holds it as "YYYY-MM-DDTHH:MM:SS", so two
// bounds compare as text.
bool CheckDate(const std::string& text, std::string& sortable) {
  static const char kShape[] = "dddd-dd-ddTdd:dd:dd";
  if (text.size() != 10 && text.size() != 16 && text.size() != 19) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return false;
  }
  auto number = [&text](std::size_t at, std::size_t length) {
    int value = 0;
    for (std::size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
    return value;
  };
  int year = number(0, 4), month = number(5, 2), day = number(8, 2);
  static constexpr int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (year < 1900 || month < 1 || month > 12 || day < 1 || day > kMonthDays[month - 1] ||
      (month == 2 && day == 29 && !leap))
    return false;
  if (text.size() >= 16 && (number(11, 2) > 23 || number(14, 2) > 59)) return false;
  if (text.size() == 19 && number(17, 2) > 59) return false;
  sortable = text + std::string("T00:00:00").substr(text.size() - 10);
  return true;
}

// Prints each hit as it is found (on the search's thread, while the command waits).
class CHitPrinter : public ISearchJobSink {
 public:
  explicit CHitPrinter(bool json) : m_json(json) {}
  void OnHit(const CatalogueRow& hit) override {
    if (m_json)
      std::printf("%s\n", RowJson(hit).c_str());
    else
      PrintTableRow(hit);
  }

 private:
  bool m_json;
};

}  // namespace

int RunSearch(Args& args) {
  SearchCriteria criteria;
  bool json = args.Flag("--json");
  bool useCache = args.Flag("--cache");
  bool exact = args.Flag("--exact");
  bool missing = false, anyMissing = false;
  std::string value;
  if (args.Option("--name", value, missing)) {
    criteria.nameOn = true;
    criteria.name = value;
  }
  anyMissing |= missing;
  criteria.nameMode = exact ? kNameModeEquals : kNameModeContains;
  criteria.maximum = std::numeric_limits<std::uint32_t>::max();
  const struct {
    const char* option;
    std::uint32_t* bound;
  } kSizeBounds[] = {{"--min-kb", &criteria.minimum}, {"--max-kb", &criteria.maximum}};
  for (const auto& size : kSizeBounds) {
    if (args.Option(size.option, value, missing)) {
      criteria.sizeOn = true;
      if (!ParseKb(value, *size.bound)) {
        PrintError(std::string("search: ") + size.option +
                   " takes a whole number of KB from 0 to 4294967295, not '" + value + "'");
        return kExitBadUsage;
      }
    }
    anyMissing |= missing;
  }
  std::string from, to;
  bool created = args.Option2("--created", from, to, missing);
  anyMissing |= missing;
  bool modified = !created && args.Option2("--modified", from, to, missing);
  anyMissing |= missing;
  std::string below;
  bool hasPath = args.Option("--path", below, missing);
  anyMissing |= missing;
  if (anyMissing || (exact && !criteria.nameOn)) {
    PrintError(kUsage);
    return kExitBadUsage;
  }
  if (std::string extra = args.Leftover(); !extra.empty()) {
    PrintError("search: unknown option " + extra);
    return kExitBadUsage;
  }
  auto words = args.Positionals();
  if (words.size() != 1) {
    PrintError(kUsage);
    return kExitBadUsage;
  }
  std::string source = words[0];
  if (criteria.sizeOn && criteria.minimum > criteria.maximum) {
    PrintError("search: --min-kb " + std::to_string(criteria.minimum) +
               " is larger than --max-kb " + std::to_string(criteria.maximum));
    return kExitBadUsage;
  }
  if (created || modified) {
    criteria.dateOn = true;
    criteria.dateKind = created ? kDateKindCreated : kDateKindModified;
    std::string fromSortable, toSortable;
    bool fromOk = CheckDate(from, fromSortable);
    if (!fromOk || !CheckDate(to, toSortable)) {
      PrintError("search: '" + (fromOk ? to : from) +
                 "' is not a date; dates are YYYY-MM-DD[THH:MM[:SS]] in local time, from 1900 on");
      return kExitBadUsage;
    }
    if (fromSortable > toSortable) {
      PrintError("search: FROM " + from + " is later than TO " + to);
      return kExitBadUsage;
    }
    if (!ParseLocalDate(from, criteria.from) || !ParseLocalDate(to, criteria.to)) {
      PrintError("search: dates are YYYY-MM-DD[THH:MM[:SS]] in local time");
      return kExitBadUsage;
    }
  }

  VolumePath wanted;
  if (std::string error; hasPath && !ParseVolumePath(below, wanted, error)) {
    PrintError("search: " + error);
    return kExitBadUsage;
  }

  std::vector<char> letters;
  int exitCode = kExitOk;
  if (!ResolveNtfsSource(source, useCache, letters, exitCode)) return exitCode;
  if (hasPath && wanted.letter != 0) {
    std::erase_if(letters, [&](char l) { return l != wanted.letter; });
    if (letters.empty()) {
      PrintError("search: " + below + " is not a drive of " + source);
      return kExitBadUsage;
    }
  }
  if (!json) PrintTableHeader();
  int result = kExitOk;
  for (char letter : letters) {
    if (!IndexLetter(letter, useCache, exitCode)) return exitCode;
    if (exitCode == kExitItemsFailed) result = kExitItemsFailed;
    CHitPrinter printer(json);
    CSearchJob* job = Session().StartSearch(criteria, &printer, hasPath ? below : std::string());
    if (!job) {
      PrintError(std::string(1, letter) + ": the NTFS volume cannot be read");
      return kExitBadUsage;
    }
    job->Wait();
    if (job->Snapshot().noFolder) {
      std::fflush(stdout);
      PrintError("search: no folder " + below);
      return kExitBadUsage;
    }
  }
  std::fflush(stdout);
  return result;
}

}  // namespace sorvani::cli
