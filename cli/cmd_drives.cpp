#include "cli/cmd_drives.h"

#include <cstdio>
#include <string>
#include <vector>

#include "app/volume_facts.h"
#include "cli/json.h"
#include "disk/drive_enum.h"
#include "foundation/display_format.h"

namespace sorvani::cli {
namespace {

struct DriveLine {
  char letter = 0;
  std::string source;
  std::string caption;
  std::uint32_t type = kDriveUnknown;
  VolumeInformation volume;
};

std::string CaptionOf(char letter) {
  for (const auto& [index, mapped] : DriveDiskMap) {
    if (mapped != letter) continue;
    for (const DiskDrive& disk : DiskList)
      if (disk.index == index) return disk.caption;
  }
  return {};
}

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

void PrintTable(const std::vector<DriveLine>& lines) {
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"Drive", "Source", "Disk", "Type", "FS", "Label", "Size", "Free", "Mounted on"});
  for (const DriveLine& line : lines) {
    const VolumeInformation& v = line.volume;
    std::string fs =
        v.fsName.empty() ? (v.problem.empty() ? "-" : "? (" + v.problem + ")") : v.fsName;
    rows.push_back({std::string(1, line.letter) + ":", line.source, OrDash(line.caption),
                    DriveTypeName(line.type), fs, OrDash(EscapeControlCharacters(v.label)),
                    v.capacityKnown ? FormatSize(v.capacity, false) : "-",
                    v.freeKnown ? FormatSize(v.free, false) : "-", OrDash(v.mountPoint)});
  }
  std::vector<std::size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows)
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  for (const auto& row : rows) {
    std::string text;
    for (std::size_t i = 0; i < row.size(); ++i) {
      text += row[i];
      if (i + 1 < row.size()) text += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    std::printf("%s\n", text.c_str());
  }
}

}  // namespace

int RunDrives(Args& args) {
  bool json = args.Flag("--json");
  if (std::string extra = args.Leftover(); !extra.empty()) {
    PrintError("drives: unknown option " + extra);
    return kExitBadUsage;
  }
  if (!args.Positionals().empty()) {
    PrintError("usage: sorvani drives [--json]");
    return kExitBadUsage;
  }
  RetreiveHardwareInfo();

  std::vector<DriveLine> lines;
  for (const auto& [letter, disk] : LogicalDiskMap) {
    DriveLine line;
    line.letter = letter;
    line.source = disk.source;
    line.caption = CaptionOf(letter);
    line.type = disk.type;
    GetVolumeInformation(letter, line.volume);
    lines.push_back(std::move(line));
  }

  if (!json) {
    if (lines.empty())
      std::printf("No drives found.\n");
    else
      PrintTable(lines);
    return kExitOk;
  }
  for (const DriveLine& line : lines) {
    const VolumeInformation& v = line.volume;
    JsonObject obj;
    obj.Add("letter", std::string(1, line.letter) + ":")
        .Add("source", line.source)
        .Add("caption", line.caption)
        .Add("type", line.type)
        .Add("type_name", DriveTypeName(line.type))
        .Add("fs", v.fsName.empty() ? nullptr : v.fsName.c_str())
        .Add("label", v.label);
    if (v.capacityKnown)
      obj.Add("size", v.capacity);
    else
      obj.AddNull("size");
    if (v.freeKnown)
      obj.Add("free", v.free);
    else
      obj.AddNull("free");
    obj.Add("mount", v.mountPoint.empty() ? nullptr : v.mountPoint.c_str());
    if (!v.problem.empty()) obj.Add("problem", v.problem);
    std::printf("%s\n", obj.Text().c_str());
  }
  return kExitOk;
}

}  // namespace sorvani::cli
