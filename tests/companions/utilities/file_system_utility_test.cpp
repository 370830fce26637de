// FileSystemUtility: folder preparation, and writes that replace a planted link or the file
// whole, or leave the earlier one untouched.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "automation/convert.h"
#include "automation/error.h"
#include "companions/utilities/file_system_utility.h"
#include "contracts/text_sink.h"
#include "support/test_support.h"

namespace tarvex::companions::utilities {
namespace {

namespace fs = std::filesystem;

class file_system_utility : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return dir_.file(name); }
  static std::string read(const std::string& file) { return test_support::file_text(file); }
  static void write(const std::string& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
  }
  std::size_t entries_in(const std::string& folder) const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
  }

  FileSystemUtilityImpl utility_;
  test_support::ScratchDir dir_;
  const fs::path root_ = dir_.path();
};

TEST_F(file_system_utility, prepare_folder_makes_parents_and_refuses_what_cannot_be_a_folder) {
  std::string deep = path("a/b/c");
  for (int twice = 0; twice < 2; ++twice) utility_.PrepareFolder(deep);
  EXPECT_TRUE(fs::is_directory(deep));
  EXPECT_EQ(entries_in(deep), 0u) << "the writability probe stays behind";

  write(path("file"), "x");
  const std::pair<std::string, std::int32_t> cases[] = {
      {path("file"), 76},         // a file where the folder should be
      {path("file/sub"), 76},     // a file in the way of a parent
      {"/sys/tarvex_probe", 75},  // a place where nobody may create folders
      {"/proc/self", 76},         // a folder that takes no files
      {"", 76},                   // no name at all
  };
  for (const auto& [folder, number] : cases) {
    auto e = test_support::error_of([&] { utility_.PrepareFolder(folder); });
    ASSERT_TRUE(e) << folder;
    EXPECT_EQ(e->number(), number) << folder << ": " << e->description();
    EXPECT_EQ(e->source(), "Toolkit_83.FileSystemUtility");
    EXPECT_NE(e->description().find(folder), std::string::npos);
  }
  EXPECT_EQ(read(path("file")), "x");
}

// The report's folder may be a link (whoever names it chooses); a link at the report's own
// name is replaced, never written through.
TEST_F(file_system_utility, write_follows_a_linked_folder_but_replaces_a_linked_file) {
  fs::create_directories(path("real"));
  fs::create_directory_symlink(path("real"), path("linked"));
  write(path("other.html"), "someone else's");
  fs::create_symlink(path("other.html"), path("real/MacroReport.html"));
  utility_.WriteTextFile("report", path("linked"), "MacroReport.html");
  EXPECT_FALSE(fs::is_symlink(path("real/MacroReport.html")));
  EXPECT_EQ(read(path("real/MacroReport.html")), "report");
  EXPECT_EQ(read(path("other.html")), "someone else's");
}

TEST_F(file_system_utility, failed_write_leaves_the_earlier_file_byte_for_byte) {
  const std::string earlier = "earlier report\x01\xFF\n";
  write(path("report.html"), earlier);
  write(path("plain"), "a file, not a folder");
  fs::create_directories(path("busy"));

  struct Case {
    const char* name;
    std::string folder, file_name;
    std::int32_t number;
  };
  const Case cases[] = {
      {"target is a folder", root_.string(), "busy", 75},
      {"folder is a file", path("plain"), "report.html", 76},
      {"folder is missing", path("missing"), "report.html", 76},
      {"name with a separator", root_.string(), "../report.html", 75},
      {"no name", root_.string(), "", 75},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto e = test_support::error_of([&] { utility_.WriteTextFile("new", c.folder, c.file_name); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->number(), c.number) << e->description();
    EXPECT_EQ(e->source(), "Toolkit_83.FileSystemUtility");
  }
  EXPECT_EQ(read(path("report.html")), earlier);
  EXPECT_TRUE(fs::is_directory(path("busy")));
  EXPECT_EQ(entries_in(root_.string()), 3u) << "no temporary file stays behind";
}

// A large report streams to the disk a buffer at a time, past the page cache in aligned pieces
// with an unaligned tail: it must arrive whole, and a write that fails after part of it went out
// (a file size limit, the writer's own error) must still leave the earlier file whole.
TEST_F(file_system_utility, a_large_write_arrives_whole_or_not_at_all) {
  std::string large((std::size_t{17} << 20) + 4096 * 3 + 5, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>('a' + i % 23);
  const std::string_view text = large;
  // Pieces of uneven sizes, so that buffers fill in the middle of a piece; stops at `end`.
  auto pieces = [&](std::size_t end) {
    return [&, end](contracts::TextSink& sink) {
      for (std::size_t at = 0, n = 1; at < text.size(); at += n, n = n * 7 % 100003 + 1) {
        if (at >= end) automation::raise(automation::RuntimeError::OutOfMemory);
        sink.put(text.substr(at, n));
      }
    };
  };
  utility_.WriteTextFile(large, root_.string(), "report.html");
  EXPECT_TRUE(read(path("report.html")) == large) << "the file differs from the text";
  large[0] = 'S';
  utility_.StreamTextFile(pieces(large.size()), root_.string(), "report.html");
  ASSERT_TRUE(read(path("report.html")) == large) << "the streamed file differs from the text";

  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  // A file size limit the text fits under is never passed, not even by the size the writer
  // sets ahead of its writes: that would raise SIGXFSZ, which ends a program by default.
  rlimit roomy = before;
  roomy.rlim_cur = large.size() + 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &roomy), 0);
  large[0] = 'R';
  utility_.StreamTextFile(pieces(large.size()), root_.string(), "report.html");
  setrlimit(RLIMIT_FSIZE, &before);
  ASSERT_TRUE(read(path("report.html")) == large) << "the file under a limit differs";
  const std::pair<const char*, std::function<void()>> failures[] = {
      // Files may grow to half the text; SIGXFSZ ignored, the write fails with EFBIG.
      {"File too large",
       [&] {
         rlimit half = before;
         half.rlim_cur = large.size() / 2;
         auto* handler = std::signal(SIGXFSZ, SIG_IGN);
         ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &half), 0);
         auto e = test_support::error_of(
             [&] { utility_.StreamTextFile(pieces(large.size()), root_.string(), "report.html"); });
         setrlimit(RLIMIT_FSIZE, &before);
         std::signal(SIGXFSZ, handler);
         ASSERT_TRUE(e);
         throw *e;
       }},
      {"Out of memory",
       [&] { utility_.StreamTextFile(pieces(large.size() / 2), root_.string(), "report.html"); }},
  };
  large[0] = 'X';
  for (const auto& [says, write] : failures) {
    auto e = test_support::error_of(write);
    ASSERT_TRUE(e) << says << ": no error";
    EXPECT_NE(e->description().find(says), std::string::npos) << e->description();
  }
  large[0] = 'R';
  EXPECT_TRUE(read(path("report.html")) == large) << "the earlier file was changed";
  EXPECT_EQ(entries_in(root_.string()), 1u) << "no temporary file stays behind";
}

}  // namespace
}  // namespace tarvex::companions::utilities
