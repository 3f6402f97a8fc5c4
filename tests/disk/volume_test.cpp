#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <fstream>
#include <numeric>
#include <sstream>

#include "disk/drive_table.h"
#include "disk/volume.h"
#include "foundation/log.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

// A volume with a chosen cluster size over whatever the drive table maps its letter to.
class CTestVolume : public CVolume {
 public:
  bool Initialize(char letter) override {
    m_driveLetter = letter;
    m_bytesPerSector = 512;
    m_bytesPerCluster = 1024;
    return Open();
  }
};

std::shared_ptr<std::vector<std::uint8_t>> CountingBytes(std::size_t n) {
  auto bytes = std::make_shared<std::vector<std::uint8_t>>(n);
  for (std::size_t i = 0; i < n; ++i) (*bytes)[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  return bytes;
}

std::string ReadLog(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(VolumeReadRaw, DeliversClustersAcrossBoundariesAndShortAtTheEnd) {
  auto bytes = CountingBytes(4 * 1024 + 300);  // four whole clusters and a partial fifth
  DriveSource src;
  src.memory = bytes;
  ASSERT_TRUE(CDriveTable::Instance().Assign('R', src));
  CTestVolume v;
  ASSERT_TRUE(v.Initialize('R'));
  std::vector<std::uint8_t> out(4096, 0xEE);

  // Size 0 reads nothing and succeeds.
  std::uint32_t size = 0;
  EXPECT_TRUE(v.ReadRaw(1, 0, out.data(), size));
  EXPECT_EQ(size, 0u);

  // An offset into the first cluster continues into the next one.
  size = 1024;
  ASSERT_TRUE(v.ReadRaw(1, 100, out.data(), size));
  EXPECT_EQ(size, 1024u);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 1024, bytes->begin() + 1024 + 100));

  // The last cluster is partial: the read delivers what exists and reports its size.
  size = 2048;
  ASSERT_TRUE(v.ReadRaw(3, 512, out.data(), size));
  EXPECT_EQ(size, 512u + 300u);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + size, bytes->begin() + 3 * 1024 + 512));

  // Past the end: success with nothing delivered.
  size = 10;
  ASSERT_TRUE(v.ReadRaw(9, 0, out.data(), size));
  EXPECT_EQ(size, 0u);

  // A cluster number whose byte offset overflows 64 bits is refused, not wrapped.
  size = 10;
  EXPECT_FALSE(v.ReadRaw(~std::uint64_t{0} / 512, 0, out.data(), size));
  CDriveTable::Instance().Remove('R');
}

TEST(VolumeOpen, UnknownDriveAndUnreadableSourceAreLoggedAndRefused) {
  std::string dir = test::ScratchFolder("VolumeOpen");
  std::string log = dir + "/log.txt";
  ASSERT_TRUE(LogFile.Open(log));
  LogFile.SetLevel(0);

  CDriveTable::Instance().Remove('Q');
  CTestVolume none;
  EXPECT_FALSE(none.Initialize('Q'));

  DriveSource missing;
  missing.path = dir + "/no-such-image.img";
  CDriveTable::Instance().Assign('P', missing);
  CTestVolume gone;
  EXPECT_FALSE(gone.Initialize('P'));
  CDriveTable::Instance().Remove('P');
  LogFile.Close();

  std::string text = ReadLog(log);
  EXPECT_NE(text.find("Cannot open Q:\n"), std::string::npos) << text;
  // The system's reason comes first, then the path that failed.
  auto err = text.find("Error 2(2H): No such file or directory\nCannot open " + missing.path);
  EXPECT_NE(err, std::string::npos) << text;
}

TEST(VolumeLock, IsAFlagOnlyAndIdempotent) {
  CVolume v;
  EXPECT_FALSE(v.IsLocked());
  EXPECT_TRUE(v.LockVolume(false));
  EXPECT_FALSE(v.IsLocked());
  EXPECT_TRUE(v.LockVolume(true));
  EXPECT_TRUE(v.LockVolume(true));
  EXPECT_TRUE(v.IsLocked());
  EXPECT_TRUE(v.LockVolume(false));
  EXPECT_FALSE(v.IsLocked());
}

TEST(DeviceSource, WindowIsCutToTheFileAndNeverOpenedForWriting) {
  std::string dir = test::ScratchFolder("DeviceSource");
  std::string path = dir + "/img";
  {
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 1000; ++i) out.put(static_cast<char>(i));
  }
  CDeviceSource src;
  ASSERT_TRUE(src.Open(path, 900, 500));
  EXPECT_EQ(src.Size(), 100u);
  std::uint8_t buf[200];
  EXPECT_EQ(src.ReadAt(50, buf, sizeof buf), 50);
  EXPECT_EQ(buf[0], static_cast<std::uint8_t>(950));
  EXPECT_EQ(src.ReadAt(100, buf, 1), 0);

  CDeviceSource past;
  EXPECT_FALSE(past.Open(path, 2000, 0));

  // The descriptor under every source is read-only, whoever runs the program.
  CRawDevice raw;
  ASSERT_TRUE(raw.Open(path));
  EXPECT_EQ(::fcntl(raw.Descriptor(), F_GETFL) & O_ACCMODE, O_RDONLY);
  EXPECT_FALSE(raw.Open(dir));
  EXPECT_EQ(errno, EISDIR);
}

}  // namespace
}  // namespace sorvani
