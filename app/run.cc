#include "app/run.h"

#include <cstdarg>
#include <new>

#include "app/line_checksum.h"
#include "app/rewrite.h"
#include "app/usage.h"
#include "app/verify.h"
#include "textfile/convert.h"
#include "textfile/text_file.h"

namespace {

constexpr std::u16string_view kPairName = u"hostcfg.ini";
constexpr std::u16string_view kPairUtf8Name = u"hostcfgu.ini";
constexpr std::size_t kMessageUnits = 256;

enum class Mode {
  Update,  // "/U", the default: seal the file
  Check,   // "/S": print the checksum
  Verify,  // "/V": compare the checksum with the file's first line
};

struct ToolState {
  bool quiet = false;
  Mode mode = Mode::Update;
  bool sealMismatch = false;  // verify mode: some file's seal did not match
  std::u16string programPath;
};

ToolState g_state;

char16_t AsciiUpper(char16_t c) {
  return (c >= u'a' && c <= u'z') ? c - u'a' + u'A' : c;
}

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
      return false;
  }
  return true;
}

bool IsOption(std::u16string_view arg) {
  if (arg.empty() || (arg[0] != u'/' && arg[0] != u'-'))
    return false;
  // Where "/" begins absolute paths, only "/X" is an option.
  return !(arg[0] == u'/' && platform::kSlashStartsPaths && arg.size() > 2);
}

// An option's letter: its second character by its low 8 bits, upper-cased.
char16_t OptionLetter(std::u16string_view arg) {
  return arg.size() < 2 ? 0 : AsciiUpper(arg[1] & 0xFF);
}

bool AnyArgument(const std::vector<std::u16string>& args, bool (*test)(std::u16string_view)) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (test(args[i]))
      return true;
  }
  return false;
}

// "/?", "-h" and the like: an option whose letter is "?" or "H", as only the
// letter counts ("-help" too), and the common "--help".
bool IsHelpRequest(std::u16string_view arg) {
  return arg == u"--help" ||
         (IsOption(arg) && (OptionLetter(arg) == u'?' || OptionLetter(arg) == u'H'));
}

bool IsVersionRequest(std::u16string_view arg) {
  return arg == u"--version";
}

bool IsPairName(std::u16string_view name) {
  return EqualsIgnoringCase(name, kPairName) || EqualsIgnoringCase(name, kPairUtf8Name);
}

// The encoding the sealed file is written in.
TextEncoding OutputKindFor(TextEncoding sniffed, std::u16string_view name) {
  if (EqualsIgnoringCase(name, kPairName))
    return TextEncoding::Ansi;
  if (EqualsIgnoringCase(name, kPairUtf8Name))
    return TextEncoding::Utf8;
  switch (sniffed) {
    case TextEncoding::Utf8Bom:
    case TextEncoding::Utf16LeBom:
    case TextEncoding::Utf16Le:
      return TextEncoding::Utf8;
    default:
      return sniffed;
  }
}

bool IsSkippedLeadingCharacter(char16_t c) {
  return c >= 1 && c <= 32;
}

template <typename Char>
std::size_t SkippedLeadingLength(std::basic_string_view<Char> line) {
  std::size_t skip = 0;
  while (skip < line.size() && IsSkippedLeadingCharacter(static_cast<char16_t>(line[skip])))
    ++skip;
  return skip;
}

// A line without its leading blanks and controls counts unless it is empty or
// a comment.
template <typename Char>
bool IsCounted(std::basic_string_view<Char> rest) {
  return !rest.empty() && rest[0] != ';';
}

int ReportReadFault(const TextFile& reader, const std::u16string& displayName) {
  switch (reader.Fault()) {
    case ReadFault::ZeroCharacter:
      PrintMessage(u"Cannot read %s: it holds a zero character, which would be lost\n",
                   displayName.c_str());
      break;
    case ReadFault::IllFormed:
      PrintMessage(
          u"Cannot read %s: it holds text that is not valid in its encoding, which would "
          u"be lost\n",
          displayName.c_str());
      break;
    case ReadFault::OddLength:
      PrintMessage(u"Cannot read %s: its UTF-16 text ends in half a character\n",
                   displayName.c_str());
      break;
    default:
      PrintMessage(u"Cannot read %s, e=%d\n", displayName.c_str(), reader.ErrorCode());
      break;
  }
  return 255;
}

// Reads one file and checks, verifies or seals it. Returns kRunGoesOn or an
// exit code.
int ProcessFile(platform::FileSystem& fs, TextFile& reader, const std::u16string& path,
                const std::u16string& displayName) {
  TextEncoding sniffed = reader.GetEncoding();
  TextEncoding outputKind = OutputKindFor(sniffed, FileNamePart(path));
  unsigned codePage =
      outputKind == TextEncoding::Utf8 ? platform::kUtf8CodePage : platform::kAnsiCodePage;
  SetChecksumCodePage(codePage);
  SetStoreLines(g_state.mode == Mode::Update);
  // Wide text the ANSI code page lacks is written by best fit, which turns some
  // blanks and semicolons (U+2003, U+037E) into " " and ";". Lines are taken as
  // they will be written, so that the sealed file's checksum is that of its own
  // lines as a reader of it finds them.
  bool bestFit = codePage == platform::kAnsiCodePage && sniffed != TextEncoding::Ascii &&
                 sniffed != TextEncoding::Ansi;
  std::string narrow;

  // The first line stands for the checksum line of an earlier run: only verify
  // mode looks at it.
  std::u16string firstLine;
  if (!reader.ReadLine(firstLine)) {
    if (reader.Fault() != ReadFault::None)
      return ReportReadFault(reader, displayName);
    PrintMessage(u"Cannot read %s (%d)", displayName.c_str(), 132);
    return 132;
  }
  std::u16string line;
  std::string_view ascii;
  for (;;) {
    // Most lines are plain ASCII, the same in every code page: they are taken
    // as bytes, without the way through UTF-16.
    if (reader.ReadAsciiLine(&ascii)) {
      std::string_view rest = ascii.substr(SkippedLeadingLength(ascii));
      AbsorbAsciiLine(rest, IsCounted(rest));
      continue;
    }
    if (!reader.ReadLine(line))
      break;
    std::u16string_view wide = line;
    std::size_t skip = SkippedLeadingLength(wide);
    // Only a character the code page lacks can turn into a blank or ";".
    if (bestFit && skip < line.size() && line[skip] >= 0x80) {
      ToNarrow(line, codePage, narrow);
      ToWide(narrow.data(), narrow.size(), codePage, line);
      wide = line;
      skip = SkippedLeadingLength(wide);
    }
    std::u16string_view rest = wide.substr(skip);
    AbsorbLine(rest, IsCounted(rest));
  }
  if (reader.Fault() != ReadFault::None)
    return ReportReadFault(reader, displayName);

  switch (g_state.mode) {
    case Mode::Check:
      PrintMessage(u"Checksum is: 0x%lx\n", RunningChecksum());
      return 0;
    case Mode::Verify:
      if (!ReportSeal(firstLine, RunningChecksum(), displayName))
        g_state.sealMismatch = true;
      return kRunGoesOn;
    case Mode::Update:
      break;
  }
  return RewriteFile(fs, reader, path, displayName, outputKind);
}

// Turns path and displayName to the other file of the pair, if path is one.
bool SwitchToPartner(std::u16string& path, std::size_t namePos, std::u16string& displayName) {
  std::u16string_view name = std::u16string_view(path).substr(namePos);
  std::u16string_view partner;
  if (EqualsIgnoringCase(name, kPairName)) {
    partner = kPairUtf8Name;
  } else if (EqualsIgnoringCase(name, kPairUtf8Name)) {
    partner = kPairName;
  } else {
    return true;
  }
  if (namePos + partner.size() >= platform::kMaxPath)
    return false;
  path.replace(namePos, std::u16string::npos, partner);
  displayName = partner;
  return true;
}

int RunFiles(const std::vector<std::u16string>& args, platform::FileSystem& fs) {
  PrintMessage(u"Generate checksum for .INI file\n");

  std::u16string displayName(kPairName);
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (!IsOption(args[i])) {
      displayName = args[i];
    } else if (OptionLetter(args[i]) == u'S') {
      g_state.mode = Mode::Check;
    } else if (OptionLetter(args[i]) == u'U') {
      g_state.mode = Mode::Update;
    } else if (OptionLetter(args[i]) == u'V') {
      g_state.mode = Mode::Verify;
    }
  }

  std::u16string path;
  if (!ResolveBesideProgram(path, displayName)) {
    PrintMessage(u"Path too long: %s\n", displayName.c_str());
    return 255;
  }
  std::size_t sep = path.rfind(platform::kPathSeparator);
  std::size_t namePos = sep == std::u16string::npos ? 0 : sep + 1;
  int fileCount = IsPairName(std::u16string_view(path).substr(namePos)) ? 2 : 1;
  bool hasArguments = args.size() > 1;

  for (int fileIndex = 0; fileIndex < fileCount; ++fileIndex) {
    std::unique_ptr<platform::File> stream = fs.OpenForReading(path);
    if (!stream) {
      int error = platform::LastError();
      if (error == platform::ErrorNotRegularFile()) {
        PrintMessage(u"Cannot open input file %s: not a regular file\n", displayName.c_str());
        return 255;
      }
      if (fileCount == 1 || (fileIndex == 0 && hasArguments)) {
        PrintMessage(u"Cannot open input file %s, e=%d\n", displayName.c_str(), error);
        return 255;
      }
      // A partner that cannot be opened is skipped, as sealing skips it; verify
      // mode says so, since it is asked to vouch for the pair.
      if (g_state.mode == Mode::Verify)
        PrintMessage(u"Not verified: %s cannot be opened, e=%d\n", displayName.c_str(), error);
    } else {
      TextFile reader(std::move(stream));
      int result = ProcessFile(fs, reader, path, displayName);
      if (result != kRunGoesOn)
        return result;
    }
    if (!SwitchToPartner(path, namePos, displayName)) {
      PrintMessage(u"Path too long: %s\n", displayName.c_str());
      return 255;
    }
    ResetLines();
  }
  return g_state.sealMismatch ? 1 : 0;
}

}  // namespace

bool IsUpdateMode() {
  return g_state.mode == Mode::Update;
}

void PrintMessage(const char16_t* format, ...) {
  if (g_state.quiet)
    return;
  char16_t text[kMessageUnits];
  va_list args;
  va_start(args, format);
  std::size_t n = platform::FormatWideV(text, kMessageUnits, format, args);
  va_end(args);
  platform::WriteConsoleText(std::u16string_view(text, n));
}

std::u16string_view FileNamePart(std::u16string_view path) {
  std::size_t sep = path.rfind(platform::kPathSeparator);
  return sep == std::u16string_view::npos ? path : path.substr(sep + 1);
}

bool ResolveBesideProgram(std::u16string& out, std::u16string_view name) {
  if (name.find(platform::kPathSeparator) != std::u16string_view::npos) {
    out = name;
  } else {
    const std::u16string& program = g_state.programPath;
    std::size_t sep = program.rfind(platform::kPathSeparator);
    out = sep == std::u16string::npos ? std::u16string() : program.substr(0, sep + 1);
    out += name;
  }
  return out.size() < platform::kMaxPath;
}

int RunTool(const std::vector<std::u16string>& args, platform::FileSystem& fs,
            const std::u16string& programPath) {
  g_state = ToolState{};
  g_state.programPath = programPath;
  ResetLines();
  // Help, then version, are answered before anything else and whatever else
  // the command line holds: no banner, no file opened, "/Q" or not.
  if (AnyArgument(args, IsHelpRequest)) {
    PrintUsage();
    return 0;
  }
  if (AnyArgument(args, IsVersionRequest)) {
    PrintVersion();
    return 0;
  }
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (IsOption(args[i]) && OptionLetter(args[i]) == u'Q')
      g_state.quiet = true;
  }
  int result;
  try {
    result = RunFiles(args, fs);
  } catch (const std::bad_alloc&) {
    PrintMessage(u"Out of memory: the file is too large to seal\n");
    result = 255;
  }
  ResetLines();
  return result;
}
