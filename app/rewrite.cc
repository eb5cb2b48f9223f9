#include "app/rewrite.h"

#include <string>
#include <string_view>

#include "app/line_checksum.h"
#include "app/run.h"

namespace {

constexpr std::u16string_view kTempName = u"lic.$$$";
constexpr int kMaxTempAttempts = 1000;

// Removes the temporary file unless it was put in the input's place, also when
// an exception ends the rewrite.
class TempFileGuard {
 public:
  TempFileGuard(platform::FileSystem& fs, std::u16string path)
      : m_fs(fs), m_path(std::move(path)) {}
  ~TempFileGuard() {
    if (!m_bKept)
      m_fs.Remove(m_path);
  }
  void Keep() { m_bKept = true; }

 private:
  platform::FileSystem& m_fs;
  std::u16string m_path;
  bool m_bKept = false;
};

std::u16string DirectoryOf(const std::u16string& path) {
  std::size_t sep = path.rfind(platform::kPathSeparator);
  if (sep == std::u16string::npos)
    return u".";
  return path.substr(0, sep == 0 ? 1 : sep);
}

// Whether the input is, or could be, a temporary file of some run of the tool.
// Judged by name and directory only: comparing the input with "lic.$$$" as
// files races with other runs, which create and rename that name all the time
// (a freed file's identity is soon reused by the next "lic.$$$").
bool IsTemporaryFile(platform::FileSystem& fs, const std::u16string& inputPath,
                     const std::u16string& tempPath) {
  return FileNamePart(inputPath).substr(0, kTempName.size()) == kTempName &&
         fs.SameFile(DirectoryOf(inputPath), DirectoryOf(tempPath));
}

// Creates "lic.$$$" beside the tool, or a name that begins with it when that
// one is taken by another run or left over from one.
std::unique_ptr<platform::File> CreateTempFile(platform::FileSystem& fs,
                                               const std::u16string& basePath,
                                               std::u16string& path) {
  std::u16string pid;
  for (char c : std::to_string(platform::CurrentProcessId()))
    pid += static_cast<char16_t>(c);
  for (int attempt = 0; attempt < kMaxTempAttempts; ++attempt) {
    path = basePath;
    if (attempt > 0) {
      path += u'.';
      path += pid;
      path += u'.';
      for (char c : std::to_string(attempt))
        path += static_cast<char16_t>(c);
    }
    if (path.size() >= platform::kMaxPath)
      break;
    std::unique_ptr<platform::File> file = fs.CreateNew(path);
    if (file || platform::LastError() != platform::ErrorFileExists())
      return file;
  }
  return nullptr;
}

bool WriteSealedFile(TextFile& writer) {
  writer.WriteFormatted(u"0x%lx\n", 0, RunningChecksum());
  for (const LineNode* node = FirstStoredLine(); node != nullptr; node = node->next)
    writer.WriteEncoded(node->text());
  return writer.FlushToDisk() && writer.CloseTextFile();
}

}  // namespace

int RewriteFile(platform::FileSystem& fs, TextFile& reader, const std::u16string& inputPath,
                const std::u16string& displayName, TextEncoding outputKind) {
  std::u16string basePath;
  if (!ResolveBesideProgram(basePath, kTempName)) {
    PrintMessage(u"Cannot open output file %s\n", std::u16string(kTempName).c_str());
    return 255;
  }
  if (IsTemporaryFile(fs, inputPath, basePath)) {
    PrintMessage(u"Cannot seal %s: it is the tool's temporary file\n", displayName.c_str());
    return 255;
  }

  std::u16string tempPath;
  std::unique_ptr<platform::File> tempFile = CreateTempFile(fs, basePath, tempPath);
  if (!tempFile) {
    PrintMessage(u"Cannot open output file %s\n", std::u16string(kTempName).c_str());
    return 255;
  }
  TempFileGuard guard(fs, tempPath);
  reader.CloseTextFile();

  TextFile writer(std::move(tempFile));
  writer.SetEncoding(outputKind);
  if (!WriteSealedFile(writer)) {
    PrintMessage(u"Error writing %s, e=%d\n", tempPath.c_str(), writer.WriteErrorCode());
    return 255;
  }
  if (!fs.Replace(tempPath, inputPath)) {
    int error = platform::LastError();
    PrintMessage(u"Error renaming %s to %s, e=%d\n", tempPath.c_str(), inputPath.c_str(), error);
    return 255;
  }
  guard.Keep();

  PrintMessage(u"Checksum is: 0x%lx\n", RunningChecksum());
  PrintMessage(u"Output is in file: %s\n", displayName.c_str());
  return kRunGoesOn;
}
