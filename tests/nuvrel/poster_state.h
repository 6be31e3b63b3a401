// A clean poster for every test: its process-wide state emptied, the log identity set and a time
// zone with daylight saving in force.
#ifndef TESTS_NUVREL_POSTER_STATE_H_
#define TESTS_NUVREL_POSTER_STATE_H_

#include "common/log.h"
#include "nuvrel/app.h"
#include "tests/common/test_support.h"

namespace testsupport {

inline void resetPosterState() {
  setTimeZone("Europe/Berlin");
  logging::logInit({"Nuvrel", "2.10/32", ""});
  nuvrel::app = nuvrel::AppState{};
  nuvrel::settings = nuvrel::Settings{};
  nuvrel::election = nuvrel::ElectionData{};
  nuvrel::schedule = nuvrel::Schedule{};
  nuvrel::output = nuvrel::OutputState{};
}

}  // namespace testsupport

#endif  // TESTS_NUVREL_POSTER_STATE_H_
