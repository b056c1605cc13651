#pragma once
// The system's files with failures on cue: the Nth append, rename or copy
// (counted from 1 since installation, or every one) fails with a chosen
// error code. Installs itself for its lifetime.

#include <cerrno>
#include <memory>
#include <string>

#include "platform/AppendFile.h"
#include "platform/Errors.h"

namespace tavo::test {

class FaultyFileSystem final : public IFileSystem {
 public:
  static constexpr int kEvery = -1;

  FaultyFileSystem() { SetFileSystem(this); }
  ~FaultyFileSystem() override { SetFileSystem(nullptr); }
  FaultyFileSystem(const FaultyFileSystem&) = delete;
  FaultyFileSystem& operator=(const FaultyFileSystem&) = delete;

  // Which call fails (1 = the next one after installation; kEvery = all;
  // 0 = none), and with what.
  int FailAppend = 0;
  int FailRename = 0;
  int FailCopy = 0;
  int Error = EIO;

  int Appends = 0;
  int Renames = 0;
  int Copies = 0;

  std::unique_ptr<IAppendFile> OpenAppend(const std::string& aPath,
                                          const TAppendOptions& aOptions) override {
    return std::make_unique<TFile>(*this, fSystem.OpenAppend(aPath, aOptions));
  }
  bool Exists(const std::string& aPath) override { return fSystem.Exists(aPath); }
  bool Delete(const std::string& aPath, int* aError) override {
    return fSystem.Delete(aPath, aError);
  }
  bool Rename(const std::string& aFrom, const std::string& aTo, int* aError) override {
    if (Hit(++Renames, FailRename))
      return Fail(aError);
    return fSystem.Rename(aFrom, aTo, aError);
  }
  bool Copy(const std::string& aFrom, const std::string& aTo, unsigned aCreateMode,
            int* aError) override {
    if (Hit(++Copies, FailCopy))
      return Fail(aError);
    return fSystem.Copy(aFrom, aTo, aCreateMode, aError);
  }

 private:
  class TFile final : public IAppendFile {
   public:
    TFile(FaultyFileSystem& aOwner, std::unique_ptr<IAppendFile> aFile)
        : fOwner(aOwner), fFile(std::move(aFile)) {}
    void Append(std::string_view aData) override {
      if (Hit(++fOwner.Appends, fOwner.FailAppend))
        throw EOSError(ErrnoText("Cannot write (test)", fOwner.Error), fOwner.Error);
      fFile->Append(aData);
    }
    bool Status(TAppendFileStatus& aStatus) override { return fFile->Status(aStatus); }
    void Truncate() override { fFile->Truncate(); }

   private:
    FaultyFileSystem& fOwner;
    std::unique_ptr<IAppendFile> fFile;
  };

  static bool Hit(int aCount, int aWhich) { return aWhich == kEvery || aCount == aWhich; }
  bool Fail(int* aError) const {
    if (aError)
      *aError = Error;
    return false;
  }

  TSystemFileSystem fSystem;
};

}  // namespace tavo::test
