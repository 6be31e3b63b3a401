// The poster's process-wide run state.
#ifndef NUVREL_APP_H_
#define NUVREL_APP_H_

#include <string>

namespace nuvrel {

constexpr const char* kProgramVersion = "2.10/32";
constexpr const char* kBuildDate = "Apr 2005";
constexpr const char* kProgramName = "Nuvrel32";

struct AppState {
  std::string configPath;
  std::string stampPath;
  std::string startDirectory;
  bool textMode = false;    // text files instead of packets
  bool headerFlag = false;  // header in text files
  std::string selectedSection;
  std::string forcedSection;
  bool forceAll = false;
};
extern AppState app;

}  // namespace nuvrel

#endif  // NUVREL_APP_H_
