// Configuration files edited by hand: the vote manager's whole configuration, the poster's settings
// pass, and every value parser on its own.  The first byte chooses; paths are kept inside the
// working directory.
#include <cstdint>
#include <string>

#include "common/config_values.h"
#include "fuzz/fuzz_support.h"
#include "korva/app.h"
#include "korva/config.h"
#include "korva/election_files.h"
#include "korva/settings.h"
#include "nuvrel/app.h"
#include "nuvrel/config.h"

namespace {

const std::set<std::string> kFixtures = {"cand.lst", "tpl.txt"};

void readVoteManagerConfig(const std::string& text) {
  fuzz::writeFile("korva.cfg", text);
  korva::settings = korva::Settings{};
  korva::election = korva::ElectionState{};
  korva::app = korva::AppState{};
  korva::app.configPath = "korva.cfg";
  korva::readVoteManagerConfig("korva.cfg");
}

void runPosterPass(const std::string& text) {
  fuzz::writeFile("korva.cfp", text);
  nuvrel::settings = nuvrel::Settings{};
  nuvrel::schedule = nuvrel::Schedule{};
  nuvrel::election = nuvrel::ElectionData{};
  nuvrel::app = nuvrel::AppState{};
  nuvrel::app.configPath = "korva.cfp";
  nuvrel::runPostingPass(0);
}

template <typename F>
void endsOrReturns(F parse) {
  fuzz::Run run;
  try {
    parse();
  } catch (const fuzz::ProgramEnded&) {
  }
  logging::logClose();  // a Log line opened one; later inputs must not write into it
}

// Each line's value through each parser that takes what the user writes.
void parseValues(const std::string& text) {
  config::source = config::ConfigSource{"values.cfg", 0};
  size_t start = 0;
  while (start < text.size()) {
    size_t end = std::min(text.find('\n', start), text.size());
    std::string_view value(text.data() + start, end - start);
    endsOrReturns([&] { config::parseStringValue(value); });
    endsOrReturns([&] { config::parseStringValue(value, 40); });
    endsOrReturns([&] { config::parseFileValue(value, true, 80); });
    endsOrReturns([&] { config::parseBoolValue(value); });
    endsOrReturns([&] {
      FtnAddress a{2, 5020, 1, 0};
      config::parseAddressValue(a, value);
    });
    endsOrReturns([&] { config::parseDateValue(value); });
    endsOrReturns([&] { config::directoryStoredForm(value); });
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setUp();
  fuzz::writeFile("cand.lst", "Ivan Petrov\nAnna Sidorova {1}\n");
  fuzz::writeFile("tpl.txt", "@FNAM@\n");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string text = fuzz::confined(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  switch (data[0] % 3) {
    case 0:
      endsOrReturns([&] { readVoteManagerConfig(text); });
      break;
    case 1:
      endsOrReturns([&] { runPosterPass(text); });
      break;
    default:
      parseValues(text);
      break;
  }
  fuzz::clearWorkDirectory(kFixtures);
  return 0;
}
