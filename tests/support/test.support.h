// What the tests share: temporary files and folders that remove themselves,
// the exception a statement raised, and the check that a statement raises an
// exception with an exact message.
//
//   TTempFile file("<bxf/>", ".bxf2");           // a fresh file, removed with the object
//   TTempFolder folder;                          // a fresh folder, removed with all it holds
//   EXPECT_THROW_MSG(read_meb(file.path()), EMebFormat, "Mesh file \"" + file.path() + "\": too short");
//   TRaised r = raised_by([&] { parse_file(file.path()); });   // class name and message
//   EXPECT_TRUE(r.message.starts_with(assertion_prefix("Foo", "import.bxf2.parser")));
//
// Names are unique within the process and carry its id, so test programs
// that run at once never share a file.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>

#include <unistd.h>

#include "system.h"

namespace test_support {

// ---------------------------------------------------------------------------
// Temporary files and folders
// ---------------------------------------------------------------------------

// A new path in the temporary folder ($TMPDIR, else /tmp) that nothing holds
// yet: "bxf2_test_<process>_<n><suffix>".
inline std::string temp_path(std::string_view suffix = "") {
  static std::atomic<int> counter = 0;
  return (std::filesystem::temp_directory_path() /
          ("bxf2_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + std::string(suffix)))
      .string();
}

// A fresh file holding `bytes`, named with `suffix`; removed with the object.
class TTempFile {
 public:
  explicit TTempFile(std::string_view bytes, std::string_view suffix = ".bxf2") : _path(temp_path(suffix)) {
    std::ofstream(_path, std::ios::binary) << bytes;
  }
  ~TTempFile() {
    std::error_code ignored;
    std::filesystem::remove(_path, ignored);
  }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;

  const std::string& path() const { return _path; }
  // The path in single quotes, for a shell command line.
  std::string arg() const { return "'" + _path + "'"; }

 private:
  std::string _path;
};

// A fresh, empty folder; removed with everything in it with the object.
class TTempFolder {
 public:
  TTempFolder() : _path(temp_path() + "/") { std::filesystem::create_directories(_path); }
  ~TTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(_path, ignored);
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  // The folder's path, with a trailing "/".
  const std::string& path() const { return _path; }

 private:
  std::string _path;
};

// ---------------------------------------------------------------------------
// Exceptions
// ---------------------------------------------------------------------------

// What a statement raised: the exception's class name and message; an empty
// class name when it raised nothing.
struct TRaised {
  std::string class_name;
  std::string message;
};

inline TRaised raised_by(const std::function<void()>& run) {
  try {
    run();
  } catch (const Exception& e) {
    return {e.class_name(), e.message()};
  }
  return {};
}

// The start of an assertion failure's text for `message` raised in the
// module `module`, up to the line number: "<message> (<module>, line ".
inline std::string assertion_prefix(const std::string& message, const std::string& module) {
  return message + " (" + module + ", line ";
}

// Success when `run` raises an `E` whose message is `expected`; otherwise a
// failure that says what was raised instead. Through EXPECT_THROW_MSG.
template <class E, class F>
::testing::AssertionResult raises_with_message(const char* statement, const char* exception, F&& run,
                                               const std::string& expected) {
  try {
    run();
  } catch (const E& e) {
    std::string message;
    if constexpr (std::is_base_of_v<Exception, E>)
      message = e.message();
    else
      message = e.what();
    if (message == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << statement << " raised " << exception << " with the message\n  \"" << message
                                         << "\"\nnot\n  \"" << expected << "\"";
  } catch (const Exception& e) {
    return ::testing::AssertionFailure() << statement << " raised " << e.class_name() << " (\"" << e.message()
                                         << "\"), not " << exception;
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure() << statement << " raised another exception (\"" << e.what() << "\"), not "
                                         << exception;
  }
  return ::testing::AssertionFailure() << statement << " raised nothing, not " << exception;
}

}  // namespace test_support

// Expects `statement` to raise `exception` (or a class derived from it)
// with exactly the message `message`; ASSERT_THROW_MSG ends the test when
// it does not.
#define EXPECT_THROW_MSG(statement, exception, message)       \
  EXPECT_TRUE(::test_support::raises_with_message<exception>( \
      #statement, #exception, [&] { statement; }, (message)))
#define ASSERT_THROW_MSG(statement, exception, message)       \
  ASSERT_TRUE(::test_support::raises_with_message<exception>( \
      #statement, #exception, [&] { statement; }, (message)))
