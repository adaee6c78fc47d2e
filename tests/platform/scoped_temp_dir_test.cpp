// The tests' own temporary directory: every test that writes files stands on it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "tests/support/fake_backend.h"
#include "tests/support/test_system.h"

namespace vt::test {
namespace {

namespace fs = std::filesystem;

// Points TMPDIR somewhere for one scope and puts the old value back.
class ScopedTmpdir {
  public:
    explicit ScopedTmpdir(const std::string& value) {
        if (const char* old = std::getenv("TMPDIR")) previous_ = old;
        test::SetEnvironment("TMPDIR", value);
    }
    ~ScopedTmpdir() {
        if (previous_) {
            test::SetEnvironment("TMPDIR", *previous_);
        } else {
            test::UnsetEnvironment("TMPDIR");
        }
    }

  private:
    std::optional<std::string> previous_;
};

TEST(ScopedTempDir, IsPrivateFreshTheWorkingDirectoryAndGoneAfterwards) {
    const fs::path before = fs::current_path();
    std::string first_path;
    {
        const ScopedTempDir first;
        const ScopedTempDir second;
        first_path = first.path();
        EXPECT_NE(first.path(), second.path());
        EXPECT_TRUE(fs::is_directory(first.path()));
        EXPECT_EQ(fs::status(first.path()).permissions() & fs::perms::all, fs::perms::owner_all);
        // The newest one is where relative names land.
        EXPECT_TRUE(fs::equivalent(fs::current_path(), second.path()));
        std::ofstream(first.File("inside.bin")) << "data";
        EXPECT_TRUE(fs::exists(first.path() + "/inside.bin"));
    }
    EXPECT_FALSE(fs::exists(first_path));
    EXPECT_EQ(fs::current_path(), before);
}

TEST(ScopedTempDir, NoTemporaryFolderIsAnErrorNotACrash) {
    const ScopedTempDir outer;
    const ScopedTmpdir tmpdir(outer.File("missing"));
    EXPECT_THROW(ScopedTempDir{}, std::exception);

    // A file where the folder should be is refused the same way.
    std::ofstream(outer.File("plain")) << "x";
    const ScopedTmpdir plain(outer.File("plain"));
    EXPECT_THROW(ScopedTempDir{}, std::exception);
}

}  // namespace
}  // namespace vt::test
