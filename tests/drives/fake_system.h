// Builds a fake sysfs, dev folder and mountinfo file in a scratch folder, laid out as the
// kernel lays them out: devices under sys/devices, partitions inside their disk's folder,
// and sys/class/block holding links to both.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "platform/block_devices.h"

namespace sorvani::test {

class CFakeSystem {
 public:
  explicit CFakeSystem(std::string root) : m_root(std::move(root)) {
    Make(m_root + "/sys/class/block");
    Make(m_root + "/sys/devices/virtual/block");
    Make(m_root + "/dev");
    std::ofstream(m_root + "/mountinfo");
  }

  SystemRoots Roots() const { return {m_root + "/sys", m_root + "/dev", m_root + "/mountinfo"}; }
  std::string DevNode(const std::string& name) const { return m_root + "/dev/" + name; }

  struct Disk {
    std::string name;
    unsigned major = 8, minor = 0;
    std::uint64_t sectors = 0;
    bool removable = false;
    std::string vendor, model;  // written only when not empty
    std::string backingFile;
    std::vector<std::string> slaves;
  };

  void AddDisk(const Disk& d) {
    std::string folder = DeviceFolder(d.name);
    Make(folder);
    Write(folder + "/dev", std::to_string(d.major) + ":" + std::to_string(d.minor) + "\n");
    Write(folder + "/size", std::to_string(d.sectors) + "\n");
    Write(folder + "/removable", d.removable ? "1\n" : "0\n");
    Write(folder + "/ro", "0\n");
    Write(folder + "/uevent", "MAJOR=" + std::to_string(d.major) +
                                  "\nMINOR=" + std::to_string(d.minor) + "\nDEVNAME=" + d.name +
                                  "\nDEVTYPE=disk\n");
    if (!d.vendor.empty() || !d.model.empty()) Make(folder + "/device");
    // The kernel pads these fields with blanks.
    if (!d.vendor.empty()) Write(folder + "/device/vendor", d.vendor + "    \n");
    if (!d.model.empty()) Write(folder + "/device/model", d.model + "  \n");
    if (!d.backingFile.empty()) {
      Make(folder + "/loop");
      Write(folder + "/loop/backing_file", d.backingFile + "\n");
    }
    Make(folder + "/slaves");
    for (const std::string& s : d.slaves) Write(folder + "/slaves/" + s, "");
    Link("../../devices/virtual/block/" + d.name, m_root + "/sys/class/block/" + d.name);
  }

  void AddPartition(const std::string& disk, int number, unsigned major, unsigned minor,
                    std::uint64_t sectors) {
    std::string name = disk + std::to_string(number);
    std::string folder = DeviceFolder(disk) + "/" + name;
    Make(folder);
    Write(folder + "/dev", std::to_string(major) + ":" + std::to_string(minor) + "\n");
    Write(folder + "/size", std::to_string(sectors) + "\n");
    Write(folder + "/partition", std::to_string(number) + "\n");
    Write(folder + "/ro", "0\n");
    Write(folder + "/uevent",
          "DEVNAME=" + name + "\nDEVTYPE=partition\nPARTN=" + std::to_string(number) + "\n");
    Link("../../devices/virtual/block/" + disk + "/" + name, m_root + "/sys/class/block/" + name);
  }

  // The device node: a link to an image, or a file of the given bytes.
  void LinkDevNode(const std::string& name, const std::string& target) {
    Link(target, DevNode(name));
  }
  void WriteDevNode(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(DevNode(name), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }

  void AddMountLine(const std::string& line) {
    std::ofstream(m_root + "/mountinfo", std::ios::app) << line << "\n";
  }

 private:
  std::string DeviceFolder(const std::string& disk) const {
    return m_root + "/sys/devices/virtual/block/" + disk;
  }
  static void Make(const std::string& path) {
    std::string partial;
    for (std::size_t pos = 0; pos != std::string::npos;) {
      pos = path.find('/', pos + 1);
      partial = path.substr(0, pos);
      ::mkdir(partial.c_str(), 0755);
    }
  }
  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
  }
  static void Link(const std::string& target, const std::string& path) {
    ::unlink(path.c_str());
    if (::symlink(target.c_str(), path.c_str()) != 0) std::ofstream(path + ".link-failed");
  }

  std::string m_root;
};

inline CFakeSystem::Disk MakeDisk(const std::string& name, unsigned major, unsigned minor,
                                  std::uint64_t sectors, bool removable = false,
                                  const std::string& vendor = "", const std::string& model = "",
                                  std::vector<std::string> slaves = {}) {
  CFakeSystem::Disk d;
  d.name = name;
  d.major = major;
  d.minor = minor;
  d.sectors = sectors;
  d.removable = removable;
  d.vendor = vendor;
  d.model = model;
  d.slaves = std::move(slaves);
  return d;
}

}  // namespace sorvani::test
