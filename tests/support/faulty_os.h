// An Os that passes every call to a real backend, records the calls, and can make
// one chosen call fail: the k-th operation counted from the start, so a test can
// walk k over every operation of a scenario.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/os.h"

namespace ztx::testing {

class FaultyOs final : public Os {
 public:
  explicit FaultyOs(Os& real) : real_(real) {}

  // Makes operation number k (1-based) fail; 0 fails nothing.
  void FailAt(int k) { fail_at_ = k; }
  // Makes every operation fail whose call text (as in calls()) the predicate accepts.
  void FailWhen(std::function<bool(const std::string&)> predicate) { fail_when_ = std::move(predicate); }
  int operations() const { return count_; }
  // "MakeFolder a/b" and the like, in call order.
  const std::vector<std::string>& calls() const { return calls_; }

  FileHandle Open(const std::string& path, OpenMode mode) override {
    return Next("Open " + path) ? real_.Open(path, mode) : kNullHandle;
  }
  FileHandle CreateScratch() override {
    return Next("CreateScratch") ? real_.CreateScratch() : kNullHandle;
  }
  bool Read(FileHandle h, void* buffer, std::uint32_t count, std::uint32_t* done) override {
    *done = 0;
    return Next("Read") && real_.Read(h, buffer, count, done);
  }
  bool Write(FileHandle h, const void* buffer, std::uint32_t count,
             std::uint32_t* done) override {
    *done = 0;
    return Next("Write") && real_.Write(h, buffer, count, done);
  }
  bool Size(FileHandle h, std::uint64_t* size) override {
    return Next("Size") && real_.Size(h, size);
  }
  bool Seek(FileHandle h, std::uint32_t position) override {
    return Next("Seek") && real_.Seek(h, position);
  }
  bool Tell(FileHandle h, std::uint32_t* position) override {
    return Next("Tell") && real_.Tell(h, position);
  }
  bool Flush(FileHandle h) override { return Next("Flush") && real_.Flush(h); }
  bool FinishFlushes(const std::string& folder) override {
    return Next("FinishFlushes " + folder) && real_.FinishFlushes(folder);
  }
  void Close(FileHandle h) override {
    Next("Close");  // counted, but always done: a leaked handle would hide other faults
    real_.Close(h);
  }
  bool SetWriteTimeDos(FileHandle h, std::uint32_t t) override {
    return Next("SetWriteTimeDos") && real_.SetWriteTimeDos(h, t);
  }
  std::uint32_t GetAttributes(const std::string& path) override {
    return Next("GetAttributes " + path) ? real_.GetAttributes(path) : attr::kInvalid;
  }
  bool SetAttributes(const std::string& path, std::uint32_t a) override {
    return Next("SetAttributes " + path) && real_.SetAttributes(path, a);
  }
  bool DeleteFile(const std::string& path) override {
    return Next("DeleteFile " + path) && real_.DeleteFile(path);
  }
  bool MoveFile(const std::string& from, const std::string& to) override {
    return Next("MoveFile " + from + " " + to) && real_.MoveFile(from, to);
  }
  bool MakeFolder(const std::string& path) override {
    return Next("MakeFolder " + path) && real_.MakeFolder(path);
  }
  bool RemoveFolder(const std::string& path) override {
    return Next("RemoveFolder " + path) && real_.RemoveFolder(path);
  }
  bool RegOpenKey(std::uint32_t root, const std::string& sub_key, RegAccess access,
                  RegKey* key) override {
    return Next("RegOpenKey " + sub_key) && real_.RegOpenKey(root, sub_key, access, key);
  }
  bool RegQueryValue(RegKey key, const std::string& name, std::uint32_t capacity,
                     std::string* data) override {
    return Next("RegQueryValue " + name) && real_.RegQueryValue(key, name, capacity, data);
  }
  bool RegSetValue(RegKey key, const std::string& name, std::uint32_t type,
                   const std::string& data) override {
    return Next("RegSetValue " + name) && real_.RegSetValue(key, name, type, data);
  }
  void RegCloseKey(RegKey key) override {
    Next("RegCloseKey");
    real_.RegCloseKey(key);
  }
  std::string WindowsFolder() override { return Next("WindowsFolder") ? real_.WindowsFolder() : ""; }
  std::string SystemFolder() override { return Next("SystemFolder") ? real_.SystemFolder() : ""; }
  std::uint32_t Version() override { return real_.Version(); }
  bool DelayedMove(const std::string& from, const std::string& to) override {
    return Next("DelayedMove " + from + " " + to) && real_.DelayedMove(from, to);
  }
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value, const std::string& file) override {
    return Next("WriteProfileString " + key) && real_.WriteProfileString(section, key, value, file);
  }
  std::string CurrentFolder() override { return real_.CurrentFolder(); }
  std::string ShortPath(const std::string& path) override { return real_.ShortPath(path); }
  bool RequestRestart() override { return Next("RequestRestart") && real_.RequestRestart(); }
  std::string ProgramPath() override { return real_.ProgramPath(); }
  std::string CommandLine() override { return real_.CommandLine(); }

 private:
  bool Next(std::string call) {
    const bool fail = ++count_ == fail_at_ || (fail_when_ && fail_when_(call));
    calls_.push_back(std::move(call));
    return !fail;
  }

  Os& real_;
  int fail_at_ = 0;
  std::function<bool(const std::string&)> fail_when_;
  int count_ = 0;
  std::vector<std::string> calls_;
};

}  // namespace ztx::testing
