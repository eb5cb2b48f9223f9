// The program's entry point: hands the wide command line to the run.

#include <string>
#include <vector>

#include "app/run.h"
#include "platform/platform.h"

#if defined(_WIN32)

int wmain(int argc, wchar_t** argv) {
  std::vector<std::u16string> args;
  for (int i = 0; i < argc; ++i)
    args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  return RunTool(args, platform::RealFileSystem(), platform::ExecutablePath());
}

#else

int main(int argc, char** argv) {
  std::vector<std::u16string> args(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i) {
    if (!platform::DecodeUtf8Argument(argv[i], &args[static_cast<std::size_t>(i)])) {
      platform::WriteStandardError("iniseal: an argument is not valid UTF-8\n");
      return 255;
    }
  }
  return RunTool(args, platform::RealFileSystem(), platform::ExecutablePath());
}

#endif
