// A real FidoNet tosser (crashmail) as the peer of the built programs: its settings file over a
// scenario directory, and the stored messages it writes read back field by field.
#ifndef TESTS_INTEROP_TOSSER_H_
#define TESTS_INTEROP_TOSSER_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "korva/message_format.h"
#include "tests/e2e/harness.h"

namespace tosser {

// The path of a crashmail or binkd program on PATH, or in /usr/sbin where a user's PATH often does not
// reach the mailer; empty when there is none.
inline std::string programPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(std::string(path ? path : "") + ":/usr/sbin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
  }
  return "";
}

inline bool installed() { return !programPath("crashmail").empty() && !programPath("crashwrite").empty(); }

#define SKIP_WITHOUT_TOSSER()                                                                         \
  if (!tosser::installed())                                                                           \
  GTEST_SKIP() << "crashmail is not installed (tools/install-deps.sh installs it with apt-get); the " \
                  "tosser interoperability test cannot run"

// A settings file for the system `aka` in `dir`: inbound, outbound and work directories below it,
// the netmail area in `netmailDir`, a BAD area, and the given lines (nodes, routes, areas).
inline std::string writePrefs(const e2e::ScenarioDir& dir, const std::string& name, const std::string& aka,
                              const std::string& netmailDir, const std::string& extra) {
  for (const char* sub : {"inbound", "outbound", "tosser.tmp", "bad"}) {
    if (!dir.exists(sub)) dir.makeDirectory(sub);
  }
  std::string prefs = "SYSOP \"Test Sysop\"\nLOGFILE \"" + dir.file(name + ".log") + "\"\nLOGLEVEL 6\n";
  prefs += "DUPEFILE \"" + dir.file(name + ".dupes") + "\" 200\nDUPEMODE BAD\n";
  prefs += "INBOUND \"" + dir.file("inbound") + "\"\nOUTBOUND \"" + dir.file("outbound") + "\"\n";
  prefs += "TEMPDIR \"" + dir.file("tosser.tmp") + "\"\nCREATEPKTDIR \"" + dir.file("tosser.tmp") + "\"\n";
  prefs += "PACKETDIR \"" + dir.file("outbound") + "\"\nSTATSFILE \"" + dir.file(name + ".stats") + "\"\n";
  prefs += "DEFAULTZONE 2\nAKA " + aka + "\nDOMAIN \"FidoNet\"\n" + extra;
  prefs += "NETMAIL \"NETMAIL\" " + aka + " MSG \"" + dir.file(netmailDir) + "\"\n";
  prefs += "AREA \"BAD\" " + aka + " MSG \"" + dir.file("bad") + "\"\n";
  dir.write(name + ".prefs", prefs);
  return dir.file(name + ".prefs");
}

// Runs crashmail or crashwrite in the scenario directory.
inline e2e::RunResult run(const e2e::ScenarioDir& dir, const std::string& program, const std::vector<std::string>& args,
                          const char* tz = "UTC") {
  return e2e::runProgram(programPath(program), args, dir.path(), {{"TZ", tz}});
}

// A stored message as the tosser wrote it.
struct Stored {
  std::string from, to, subject, text;
  uint16_t origNet = 0, origNode = 0, destNet = 0, destNode = 0;
};

inline Stored readStored(const std::string& bytes) {
  using namespace msg_header;
  auto field = [&bytes](size_t at, size_t size) {
    std::string s = bytes.substr(at, size);
    return s.substr(0, s.find('\0'));
  };
  auto word = [&bytes](size_t at) { return byte_order::get16(reinterpret_cast<const uint8_t*>(bytes.data() + at)); };
  Stored m;
  if (bytes.size() < kSize) return m;
  m.from = field(kFromName, kFromNameSize);
  m.to = field(kToName, kToNameSize);
  m.subject = field(kSubject, kSubjectSize);
  m.origNet = word(kOrigNet);
  m.origNode = word(kOrigNode);
  m.destNet = word(kDestNet);
  m.destNode = word(kDestNode);
  m.text = bytes.substr(kSize);
  m.text = m.text.substr(0, m.text.find('\0'));
  return m;
}

// The text lines of a message body (CR-ended), kludge lines left out.
inline std::vector<std::string> textLines(const std::string& body) {
  std::vector<std::string> lines;
  std::stringstream in(body);
  for (std::string line; std::getline(in, line, '\r');) {
    if (line.empty() || line[0] != '\x01') lines.push_back(line);
  }
  return lines;
}

}  // namespace tosser

#endif  // TESTS_INTEROP_TOSSER_H_
