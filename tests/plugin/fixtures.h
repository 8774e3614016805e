// Helpers shared by the plug-in's tests: inline XML written to temporary
// files, and checks of exceptions by class and message.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <unistd.h>

#include "system.h"

namespace fixtures {

// A temporary file holding `bytes`, removed with the object.
class TempFile {
 public:
  explicit TempFile(const std::string& bytes) {
    static int counter = 0;
    _path = (std::filesystem::temp_directory_path() /
             ("bxf2_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ".bxf2"))
                .string();
    std::ofstream(_path, std::ios::binary) << bytes;
  }
  ~TempFile() { std::remove(_path.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return _path; }

 private:
  std::string _path;
};

// What `run` raised: class name and message; empty class when nothing.
struct Raised {
  std::string class_name;
  std::string message;
};

inline Raised raised_by(const std::function<void()>& run) {
  try {
    run();
  } catch (const Exception& e) {
    return {e.class_name(), e.message()};
  }
  return {};
}

// An assertion failure's message for `message` raised in `module`, without
// the line number: "<message> (<module>, line ".
inline std::string assertion_prefix(const std::string& message, const std::string& module) {
  return message + " (" + module + ", line ";
}

inline bool starts_with(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace fixtures
