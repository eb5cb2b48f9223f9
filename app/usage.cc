#include "app/usage.h"

#include <string>

#include "corekit/TavAssert.h"
#include "platform/platform.h"

namespace {

constexpr std::u16string_view kUsage =
    u"Usage: iniseal [/Q] [/S | /U | /V] [file]\n"
    u"Seals an INI file with a checksum of its lines, written as its first line.\n"
    u"\n"
    u"  /U          seal the file (the default)\n"
    u"  /S          check: print the checksum, change nothing\n"
    u"  /V          verify: compare the checksum with the file's first line\n"
    u"  /Q          quiet: print nothing; the exit code tells\n"
    u"  /?, /H      print this text (also --help); no file is opened\n"
    u"  --version   print the version\n"
    u"Options may begin with / or -; the last of /S, /U and /V decides.\n"
    u"\n"
    u"Without a file, hostcfg.ini and its UTF-8 twin hostcfgu.ini beside the\n"
    u"tool are taken; naming either of them takes both. A bare name lies beside\n"
    u"the tool, a name with a path separator is taken as it stands.\n"
    u"\n"
    u"Exit codes: 0 done (with /V: every seal matches), 1 a seal does not match,\n"
    u"132 the file holds no line, 255 a file cannot be read or written,\n"
    u"3 an internal check failed.\n";

// The build stamp is ASCII: its digits, blanks and version widen as they are.
std::u16string Widen(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace

void PrintUsage() {
  platform::WriteConsoleText(kUsage);
}

void PrintVersion() {
  // The stamp's fixed layout: "!!!!:dd/mm/yy hh:mm:ss V" and the version.
  const std::string_view stamp = GetBuildStamp();
  const std::string_view date = stamp.substr(kBuildStampTimeOffset, 8);
  const std::string_view version = stamp.substr(kBuildStampVersionOffset + 1);
  platform::WriteConsoleText(u"iniseal " + Widen(version) + u" (built " + Widen(date) + u")\n");
}
