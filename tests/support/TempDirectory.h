#pragma once

#include <string>

namespace pellion::test {

// A fresh directory under the system's temporary folder (or under `parent`), removed with
// everything in it at the end of the scope.
class TempDirectory {
  public:
    explicit TempDirectory(const std::string& parent = {});
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

}  // namespace pellion::test
