#include <blkid.h>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "foundation/log.h"
#include "platform/block_devices.h"

namespace sorvani {
namespace {

std::string Trim(std::string_view text) {
  std::size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return std::string(text.substr(first, last - first));
}

bool ParseUnsigned(std::string_view text, std::uint64_t& value) {
  if (text.empty() || text.size() > 20) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    unsigned digit = static_cast<unsigned>(c - '0');
    if (v > (UINT64_MAX - digit) / 10) return false;
    v = v * 10 + digit;
  }
  value = v;
  return true;
}

bool ReadNumber(const std::string& path, std::uint64_t& value) {
  std::string text;
  return ReadAttributeText(path, text, 64) && ParseUnsigned(Trim(text), value);
}

bool ReadFlag(const std::string& path) {
  std::uint64_t value = 0;
  return ReadNumber(path, value) && value != 0;
}

std::vector<std::string> ListNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    names.emplace_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

// A device name taken from the kernel's uevent must stay under the dev root.
bool SafeDevName(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.size() > 255) return false;
  std::size_t pos = 0;
  while (pos <= name.size()) {
    std::size_t next = name.find('/', pos);
    if (next == std::string_view::npos) next = name.size();
    std::string_view part = name.substr(pos, next - pos);
    if (part.empty() || part == "." || part == "..") return false;
    pos = next + 1;
  }
  return true;
}

std::string BaseName(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// KEY=VALUE lines of a uevent file.
std::string UeventValue(const std::string& text, std::string_view key) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == '=')
      return std::string(line.substr(key.size() + 1));
    pos = end + 1;
  }
  return {};
}

}  // namespace

bool ReadAttributeText(const std::string& path, std::string& out, std::size_t limit) {
  out.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  char buffer[512];
  bool ok = true;
  while (out.size() < limit) {
    std::size_t want = std::min(sizeof buffer, limit - out.size());
    ssize_t got = ::read(fd, buffer, want);
    if (got < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (got == 0) break;
    out.append(buffer, static_cast<std::size_t>(got));
  }
  int saved = errno;
  ::close(fd);
  errno = saved;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return ok;
}

bool ParseDevNumber(std::string_view text, unsigned& major, unsigned& minor) {
  std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  std::uint64_t maj = 0, min = 0;
  if (!ParseUnsigned(text.substr(0, colon), maj) || !ParseUnsigned(text.substr(colon + 1), min))
    return false;
  if (maj > UINT_MAX || min > UINT_MAX) return false;
  major = static_cast<unsigned>(maj);
  minor = static_cast<unsigned>(min);
  return true;
}

std::vector<BlockDeviceFacts> ReadBlockDevices(const SystemRoots& roots) {
  std::vector<BlockDeviceFacts> disks, partitions;
  const std::string classFolder = roots.sys + "/class/block";
  for (const std::string& name : ListNames(classFolder)) {
    const std::string folder = classFolder + "/" + name;
    if (ReadFlag(folder + "/hidden")) continue;

    BlockDeviceFacts facts;
    facts.name = name;
    std::string uevent;
    ReadAttributeText(folder + "/uevent", uevent, 4096);
    std::string devName = UeventValue(uevent, "DEVNAME");
    facts.devNode = roots.dev + "/" + (SafeDevName(devName) ? devName : name);

    std::string text;
    if (ReadAttributeText(folder + "/dev", text, 64))
      facts.hasDevNumber = ParseDevNumber(Trim(text), facts.major, facts.minor);
    std::uint64_t sectors = 0;
    // sysfs counts in 512-byte units whatever the device's own sector size.
    if (ReadNumber(folder + "/size", sectors) && sectors <= UINT64_MAX / 512)
      facts.bytes = sectors * 512;
    facts.readOnly = ReadFlag(folder + "/ro");

    std::uint64_t number = 0;
    if (ReadNumber(folder + "/partition", number)) {
      facts.partition = number > 0 && number <= 65535 ? static_cast<int>(number) : 0;
      // A partition's sysfs folder sits inside its disk's folder.
      char resolved[PATH_MAX];
      if (::realpath((folder + "/..").c_str(), resolved)) facts.parent = BaseName(resolved);
      if (facts.parent.empty() || facts.partition == 0) {
        LogFile.Write(1, "%s: partition without a readable disk or number, skipped\n",
                      name.c_str());
        continue;
      }
      partitions.push_back(std::move(facts));
      continue;
    }

    facts.removable = ReadFlag(folder + "/removable");
    if (ReadAttributeText(folder + "/device/vendor", text, 256)) facts.vendor = Trim(text);
    if (ReadAttributeText(folder + "/device/model", text, 256)) facts.model = Trim(text);
    if (ReadAttributeText(folder + "/loop/backing_file", text, 4096))
      facts.backingFile = Trim(text);
    facts.slaves = ListNames(folder + "/slaves");
    disks.push_back(std::move(facts));
  }
  for (BlockDeviceFacts& p : partitions) {
    auto disk = std::find_if(disks.begin(), disks.end(),
                             [&](const BlockDeviceFacts& d) { return d.name == p.parent; });
    if (disk != disks.end()) p.removable = disk->removable;
  }
  disks.insert(disks.end(), std::make_move_iterator(partitions.begin()),
               std::make_move_iterator(partitions.end()));
  return disks;
}

void ProbeVolume(BlockDeviceFacts& device) {
  device.probed = false;
  device.fsType.clear();
  device.fsVersion.clear();
  device.label.clear();
  device.probeError.clear();
  // O_NONBLOCK: a drive without a medium answers at once instead of waiting for one.
  int fd = ::open(device.devNode.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    int code = errno;
    device.probeError = SystemErrorText(code);
    LogFile.WriteError(1, code);
    LogFile.Write(1, "%s: cannot be opened to read its file system\n", device.devNode.c_str());
    return;
  }
  blkid_probe probe = blkid_new_probe();
  if (!probe) {
    ::close(fd);
    device.probeError = "out of memory";
    return;
  }
  if (blkid_probe_set_device(probe, fd, 0, 0) != 0) {
    device.probeError = "the device cannot be probed";
  } else {
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(
        probe, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_LABEL | BLKID_SUBLKS_VERSION);
    blkid_probe_enable_partitions(probe, 0);
    int rc = blkid_do_safeprobe(probe);
    if (rc == 0) {
      device.probed = true;
      const char* value = nullptr;
      if (blkid_probe_lookup_value(probe, "TYPE", &value, nullptr) == 0 && value)
        device.fsType = value;
      if (blkid_probe_lookup_value(probe, "VERSION", &value, nullptr) == 0 && value)
        device.fsVersion = value;
      if (blkid_probe_lookup_value(probe, "LABEL", &value, nullptr) == 0 && value)
        device.label = value;
    } else if (rc == 1) {
      device.probed = true;  // read, but no file system recognised
    } else if (rc == -2) {
      device.probed = true;
      device.probeError = "several file-system signatures";
    } else {
      device.probeError = "the device could not be read";
    }
  }
  blkid_free_probe(probe);
  ::close(fd);
}

}  // namespace sorvani
