#include "platform/instance_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and puts the old value back afterwards.
class CEnvGuard {
 public:
  explicit CEnvGuard(const char* name) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
  }
  ~CEnvGuard() {
    if (m_old)
      ::setenv(m_name, m_old->c_str(), 1);
    else
      ::unsetenv(m_name);
  }
  void Set(const std::string& value) { ::setenv(m_name, value.c_str(), 1); }
  void Unset() { ::unsetenv(m_name); }

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class InstanceLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = test::ScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    m_runtime = m_dir + "/run";
    m_config = m_dir + "/config";
    fs::create_directories(m_runtime);
    ::chmod(m_runtime.c_str(), 0700);
    m_runtimeEnv.Set(m_runtime);
    m_configEnv.Set(m_config);
  }

  std::string m_dir, m_runtime, m_config;
  CEnvGuard m_runtimeEnv{"XDG_RUNTIME_DIR"};
  CEnvGuard m_configEnv{"XDG_CONFIG_HOME"};
};

TEST_F(InstanceLockTest, SecondLockFailsWhileTheFirstHoldsIt) {
  std::string folder = m_dir + "/lock";
  fs::create_directories(folder);
  EXPECT_FALSE(InstanceRunning(folder));
  EXPECT_FALSE(fs::exists(folder + "/instance.lock")) << "a probe must not create the file";

  CInstanceLock first, second;
  ASSERT_TRUE(first.TryLock(folder));
  EXPECT_TRUE(first.Locked());
  EXPECT_EQ(ModeOf(folder + "/instance.lock"), 0600u);
  // flock belongs to the open file description, so a second open in this process conflicts.
  EXPECT_FALSE(second.TryLock(folder));
  EXPECT_FALSE(second.Locked());
  EXPECT_TRUE(InstanceRunning(folder));

  first.Unlock();
  EXPECT_FALSE(first.Locked());
  EXPECT_FALSE(InstanceRunning(folder));
  EXPECT_TRUE(second.TryLock(folder));
  EXPECT_TRUE(InstanceRunning(folder));
  {
    CInstanceLock scoped;
    EXPECT_FALSE(scoped.TryLock(folder));
  }
  second.Unlock();
  {
    CInstanceLock scoped;
    ASSERT_TRUE(scoped.TryLock(folder));
  }
  EXPECT_FALSE(InstanceRunning(folder)) << "destruction releases the lock";
}

TEST_F(InstanceLockTest, LockOfAnotherProcessAndOfAKilledOne) {
  std::string folder = m_dir + "/lock";
  fs::create_directories(folder);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    CInstanceLock lock;
    char answer = lock.TryLock(folder) ? 'y' : 'n';
    if (::write(ready[1], &answer, 1) != 1) ::_exit(2);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char answer = 0;
  ASSERT_EQ(::read(ready[0], &answer, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(answer, 'y');

  CInstanceLock mine;
  EXPECT_FALSE(mine.TryLock(folder));
  EXPECT_TRUE(InstanceRunning(folder));

  // A killed holder leaves its lock file behind; the lock itself is free again.
  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(fs::exists(folder + "/instance.lock"));
  EXPECT_FALSE(InstanceRunning(folder));
  EXPECT_TRUE(mine.TryLock(folder));
}

TEST_F(InstanceLockTest, ProbeAndLockRefuseWhatIsNotTheirs) {
  std::string missing = m_dir + "/missing";
  EXPECT_FALSE(InstanceRunning(missing));
  EXPECT_FALSE(fs::exists(missing)) << "a probe must not create the folder";
  CInstanceLock lock;
  EXPECT_FALSE(lock.TryLock(missing));
  EXPECT_FALSE(lock.TryLock(""));

  // A link planted in place of the lock file is not followed (the program may run as root).
  std::string folder = m_dir + "/planted";
  fs::create_directories(folder);
  std::string target = m_dir + "/victim";
  fs::create_symlink(target, folder + "/instance.lock");
  EXPECT_FALSE(lock.TryLock(folder));
  EXPECT_FALSE(fs::exists(target));
  EXPECT_FALSE(InstanceRunning(folder));
}

TEST_F(InstanceLockTest, FolderIsThePrivateRuntimeFolder) {
  std::string expected = m_runtime + "/SorvaniRecovery";
  EXPECT_EQ(InstanceFolder(false), expected);
  EXPECT_FALSE(fs::exists(expected)) << "without create nothing is made";
  EXPECT_EQ(InstanceFolder(), expected);
  EXPECT_EQ(ModeOf(expected), 0700u);
  EXPECT_TRUE(fs::is_directory(expected));
  EXPECT_EQ(InstanceFolder(), expected) << "an existing folder of ours is used again";
}

TEST_F(InstanceLockTest, FolderFallsBackToTheProfileFolder) {
  std::string fallback = m_config + "/SorvaniRecovery";
  std::string own = m_runtime + "/SorvaniRecovery";

  m_runtimeEnv.Unset();
  EXPECT_EQ(InstanceFolder(), fallback);
  EXPECT_TRUE(fs::is_directory(fallback));

  m_runtimeEnv.Set("run/user/0");
  EXPECT_EQ(InstanceFolder(), fallback) << "relative";
  m_runtimeEnv.Set(m_dir + "/no-such-folder");
  EXPECT_EQ(InstanceFolder(), fallback) << "missing";

  m_runtimeEnv.Set(m_runtime);
  for (mode_t mode : {0777, 0770, 0720, 0702}) {
    ::chmod(m_runtime.c_str(), mode);
    EXPECT_EQ(InstanceFolder(), fallback) << std::oct << mode;
  }
  ::chmod(m_runtime.c_str(), 0755);  // readable by others is fine for the base folder
  EXPECT_EQ(InstanceFolder(), own);

  // Our subfolder must be private: one left with group or other access is passed over.
  for (mode_t mode : {0750, 0705, 0777}) {
    ::chmod(own.c_str(), mode);
    EXPECT_EQ(InstanceFolder(), fallback) << std::oct << mode;
  }
  fs::remove(own);
  fs::create_directory_symlink(m_dir, own);
  EXPECT_EQ(InstanceFolder(), fallback) << "a link in its place";
  fs::remove(own);

  // The fallback itself must not be writable by others; then there is no private folder.
  m_runtimeEnv.Unset();
  ::chmod(fallback.c_str(), 0777);
  EXPECT_EQ(InstanceFolder(), "");
  ::chmod(fallback.c_str(), 0700);
  EXPECT_EQ(InstanceFolder(), fallback);
}

TEST_F(InstanceLockTest, FolderOfAnotherUserIsPassedOver) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder away";
  std::string fallback = m_config + "/SorvaniRecovery";
  std::string own = m_runtime + "/SorvaniRecovery";
  ASSERT_EQ(::chown(m_runtime.c_str(), 65534, 65534), 0);
  EXPECT_EQ(InstanceFolder(), fallback);
  ASSERT_EQ(::chown(m_runtime.c_str(), 0, 0), 0);
  ASSERT_EQ(InstanceFolder(), own);
  ASSERT_EQ(::chown(own.c_str(), 65534, 65534), 0);
  EXPECT_EQ(InstanceFolder(), fallback) << "subfolder made by someone else";
}

}  // namespace
}  // namespace sorvani
