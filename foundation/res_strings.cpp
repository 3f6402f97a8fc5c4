#include "foundation/res_strings.h"

#include <algorithm>
#include <cstdio>

#include "foundation/log.h"

namespace sorvani {

namespace {

struct ResText {
  unsigned id;
  const char* text;
};

// Sorted by number.
constexpr ResText kTable[] = {
    // Caption of every message box the recovery run shows.
    {kIdsCaption, "Sorvani Recovery"},

    // Prompts of the file and folder writers (buttons Yes/No/Yes to all/No to all, or
    // Abort/Retry/Ignore). The system error text, where there is one, comes first.
    {kIdsFileExists,
     "The file\n%s\nalready exists in the destination folder.\n\n"
     "Do you want to replace it with the recovered file?"},
    {kIdsFileCreateFailed,
     "The system reported: %s\n\nThe file\n%s\ncould not be created. Check that the destination "
     "is writable and has free space, then choose Retry. Choose Ignore to skip this file, or "
     "Abort to stop the recovery."},
    {kIdsFolderParentMissing,
     "The folder that should hold\n%s\ndoes not exist.\n\n"
     "Do you want to create the missing folders?"},
    {kIdsFolderExists,
     "The folder\n%s\nalready exists in the destination.\n\n"
     "Do you want to recover the items into the existing folder?"},
    // A folder name on the destination; must stay a valid file name.
    {kIdsOrphanFolderName, "_OrphanFolder_%lu"},
    {kIdsFolderCreateFailed,
     "The system reported: %s\n\nThe folder\n%s\ncould not be created. Check that the destination "
     "is writable, then choose Retry, or choose Ignore to skip this folder and everything in it."},
    {kIdsFolderPathFailed,
     "The folders leading to\n%s\ncould not be created, so this folder and everything in it "
     "cannot be recovered. Check that the destination is writable and not full."},
    {kIdsWriteFailed,
     "The system reported: %s\n\nWriting the file\n%s\nfailed. The destination may be full or no "
     "longer connected. Free some space or reconnect it and choose Retry, or choose Ignore to "
     "skip this file."},

    // Indexing window (numbers named beside the indexing thread): time left as a duration
    // text, or unknown; per cent done; elapsed duration text; the title of each phase.
    {35, "Time left: %s"},
    {36, "Time left: estimating..."},
    {37, "%d%% done"},
    {38, "Elapsed time: %s"},
    {39, "Scanning the drive for deleted files..."},
    {40, "Loading the saved list of deleted files..."},
    {42, "Saving the list of deleted files for next time..."},

    // Status texts: the progress window's current state, and column 0 of a failure row.
    {kIdsStatusWorking, "Recovering..."},
    {kIdsStatusAborted, "The recovery was stopped."},
    {kIdsStatusRecordUnreadable, "The file's MFT record could not be read."},
    {kIdsStatusItemFailed, "The item could not be recovered."},  // spare, named by no step today
    {kIdsStatusNoFileName, "The MFT record holds no file name."},
    {kIdsStatusFileNotCreated, "The destination file could not be created."},
    {kIdsStatusEfsCorrupt, "The file's encryption data ($EFS) is damaged."},
    {kIdsStatusEfsOpenFailed, "The encrypted file could not be opened for import."},
    {kIdsStatusEfsImportFailed, "Importing the encrypted file failed."},
    {kIdsStatusWriteFailed, "Writing to the destination failed."},
    {kIdsStatusStreamIncomplete, "A data stream was recovered only in part."},
    {kIdsStatusStreamNotCreated, "A data stream could not be created at the destination."},
    {kIdsStatusNoData, "The file has no data left; it was probably overwritten."},
    {kIdsStatusFolderNotCreated, "The folder could not be created."},
    {kIdsStatusFolderSkipped, "The folder was skipped."},
    {kIdsStatusFolderFailures, "Some items in the folder could not be recovered."},

    // Failure messages (buttons Ignore, Ignore all, Cancel), each naming the item's path.
    {kIdsMsgRecordUnreadable,
     "The MFT record of\n%s\ncould not be read, so the file cannot be recovered. The disk may "
     "have read errors, or the record has been reused."},
    {kIdsMsgNoFileName,
     "The MFT record of\n%s\nholds no file name any more; it has probably been reused by another "
     "file. The file cannot be recovered."},
    {kIdsMsgEfsCorrupt,
     "The encryption data of\n%s\nis damaged, so the encrypted file cannot be rebuilt. An empty "
     "file was left at the destination."},
    {kIdsMsgEfsOpenFailed,
     "The encrypted file\n%s\ncould not be opened for import. The destination may not support "
     "encryption; try recovering to an NTFS volume."},
    {kIdsMsgEfsImportFailed,
     "Importing the encrypted file\n%s\nfailed. What was written so far was kept, but the file "
     "may not open."},
    {kIdsMsgStreamIncomplete,
     "Only part of the data of\n%s\ncould be recovered; the rest could not be read or has been "
     "overwritten. The part that was read was kept."},
    {kIdsMsgStreamNotCreated,
     "The data stream\n%s\ncould not be created at the destination. Alternate streams are kept "
     "only on an NTFS destination."},
    {kIdsMsgNoData,
     "The file\n%s\nhas no data left in its MFT record; it has probably been overwritten. An "
     "empty file was left at the destination."},
    {kIdsStatusRecordDamaged, "The file's MFT record is damaged."},
};

// Parses one conversion after its '%'; returns the printf directive with its length modifier
// dropped.
struct Conversion {
  std::string directive;  // "%" flags width precision (no length modifier)
  char type = 0;
  std::size_t length = 0;  // characters consumed after '%'
};

bool ParseConversion(std::string_view rest, Conversion& conv) {
  constexpr std::size_t kMaxField = 4;  // width or precision digits: at most 9999
  std::size_t i = 0;
  conv.directive.assign(1, '%');
  while (i < rest.size() && std::string_view("-+ #0").find(rest[i]) != std::string_view::npos)
    conv.directive += rest[i++];
  std::size_t digits = 0;
  while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9' && digits++ < kMaxField)
    conv.directive += rest[i++];
  if (i < rest.size() && rest[i] == '.') {
    conv.directive += rest[i++];
    digits = 0;
    while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9' && digits++ < kMaxField)
      conv.directive += rest[i++];
  }
  if (rest.substr(i, 3) == "I64") {
    i += 3;
  } else {
    while (i < rest.size() && std::string_view("hlLqjzt").find(rest[i]) != std::string_view::npos)
      ++i;
  }
  if (i >= rest.size()) return false;
  conv.type = rest[i++];
  if (std::string_view("diuoxXceEfFgGaAs").find(conv.type) == std::string_view::npos) return false;
  conv.length = i;
  return true;
}

template <class T>
void AppendFormatted(std::string& out, const std::string& directive, T value) {
  int n = std::snprintf(nullptr, 0, directive.c_str(), value);
  if (n <= 0) return;
  std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(n) + 1);
  std::snprintf(out.data() + at, static_cast<std::size_t>(n) + 1, directive.c_str(), value);
  out.resize(at + static_cast<std::size_t>(n));
}

}  // namespace

std::string LoadResString(unsigned id) {
  auto it =
      std::lower_bound(std::begin(kTable), std::end(kTable), id,
                       [](const ResText& entry, unsigned wanted) { return entry.id < wanted; });
  if (it == std::end(kTable) || it->id != id) return kResourceNotAvailable;
  return it->text;
}

bool FormatResText(std::string_view format, std::span<const ResArg> args, std::string& out) {
  out.clear();
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    Conversion conv;
    if (!ParseConversion(format.substr(i + 1), conv) || next >= args.size()) {
      out.clear();
      return false;
    }
    const ResArg& arg = args[next++];
    bool isInteger = arg.kind == ResArg::Kind::kSigned || arg.kind == ResArg::Kind::kUnsigned;
    long long asSigned = arg.kind == ResArg::Kind::kSigned ? arg.i : static_cast<long long>(arg.u);
    unsigned long long asUnsigned =
        arg.kind == ResArg::Kind::kSigned ? static_cast<unsigned long long>(arg.i) : arg.u;
    bool matches = false;
    switch (conv.type) {
      case 'd':
      case 'i':
        if ((matches = isInteger))
          AppendFormatted(out, conv.directive + "ll" + conv.type, asSigned);
        break;
      case 'u':
      case 'o':
      case 'x':
      case 'X':
        if ((matches = isInteger))
          AppendFormatted(out, conv.directive + "ll" + conv.type, asUnsigned);
        break;
      case 'c':
        if ((matches = isInteger))
          AppendFormatted(out, conv.directive + 'c', static_cast<int>(asUnsigned & 0xFF));
        break;
      case 's':
        if ((matches = arg.kind == ResArg::Kind::kText))
          AppendFormatted(out, conv.directive + 's', arg.text.c_str());
        break;
      default:  // floating point
        if ((matches = arg.kind == ResArg::Kind::kDouble))
          AppendFormatted(out, conv.directive + conv.type, arg.d);
        break;
    }
    if (!matches) {
      out.clear();
      return false;
    }
    i += conv.length;
  }
  if (next != args.size()) {
    out.clear();
    return false;
  }
  return true;
}

std::string FormatResStringArgs(unsigned id, std::span<const ResArg> args) {
  std::string text = LoadResString(id);
  std::string out;
  if (FormatResText(text, args, out)) return out;
  LogFile.Write(0, "Resource string %u does not match its %zu arguments\n", id, args.size());
  return text;
}

}  // namespace sorvani
