// Test images: the committed fixtures (compressed in tests/fixtures) and the third-party
// validation images beside the project, decompressed once into the build tree on demand.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sorvani::test {

// Path of a decompressed committed fixture, e.g. Fixture("ntfs-4k.img"). Fails the current
// test (and returns "") when the fixture is not in the repository.
std::string Fixture(const std::string& name);
// Text of a committed file under tests/fixtures (answer keys), "" when missing.
std::string FixtureText(const std::string& name);
// Path of a decompressed third-party image, e.g. RealImage("dftt-7-undel-ntfs.dd");
// nullopt when the folder or the image is absent (callers GTEST_SKIP).
std::optional<std::string> RealImage(const std::string& name);
// Text of a file of the third-party folder (answer keys); nullopt when absent.
std::optional<std::string> RealImageText(const std::string& name);
// A fresh empty folder under the build tree for one test's output.
std::string ScratchFolder(const std::string& testName);
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

}  // namespace sorvani::test
