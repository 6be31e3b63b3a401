// The nodelist, the pointlist and the valid addresses list as edited by hand or damaged: indexed,
// the index read back, and every listed address looked up.  Input parts, separated by "===="
// lines: valid list, nodelist, pointlist, the records part of the index file (replacing what the
// first indexing wrote, to try the reading of a damaged index).
#include <cstdint>
#include <string>
#include <vector>

#include "common/index_format.h"
#include "fuzz/fuzz_support.h"
#include "korva/app.h"
#include "korva/election_files.h"
#include "korva/message_reader.h"
#include "korva/nodelist_index.h"
#include "korva/settings.h"

namespace {

void lookUpListed() {
  using namespace korva;
  std::vector<FtnAddress> addresses = {{2, 5020, 1, 0}, {2, 5020, 1, 1}, {0, 0, 0, 0}, {-1, -1, -1, -1}};
  for (size_t i = 0; i < indexState.records.size() && i < 64; ++i) {
    const index_format::Record& r = indexState.records[i];
    addresses.push_back({r.zone, r.net, r.node, r.point});
  }
  for (const FtnAddress& a : addresses) {
    InboundMessage msg;
    msg.orig = a;
    msg.fromName = "Ivan Petrov";
    msg.replyAddr = "ivan@example.org";
    findValidAddress(a);
    findValidAddress(msg);
    findNodelistEntry(a);
    findPointlistEntry(msg);
  }
}

void indexAndLookUp(std::string_view damagedRecords, bool candidatesCheck) {
  using namespace korva;
  settings = Settings{};
  settings.ownAddress = FtnAddress{2, 5020, 1, 0};
  settings.validAddressList = "valid.lst";
  settings.nodelist = "nodelist.123";
  settings.pointlist = "pointlist.123";
  settings.periodStart = candidatesCheck ? 0 : 2000000000;
  app = AppState{};
  app.configPath = "korva.cfg";
  app.startTime = 1000000000;
  election = ElectionState{};
  addCandidate("Ivan Petrov", 0);
  addCandidate("Anna Sidorova", 0);
  openIndex();
  lookUpListed();
  if (damagedRecords.empty()) return;
  std::FILE* f = std::fopen("korva.kix", "r+b");
  if (f == nullptr) return;
  std::fseek(f, long(index_format::kHeaderSize), SEEK_SET);
  std::fwrite(damagedRecords.data(), 1, damagedRecords.size(), f);
  std::fclose(f);
  openIndex();
  lookUpListed();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setUp();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  auto parts = fuzz::splitParts(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), 4);
  fuzz::clearWorkDirectory({});
  fuzz::writeFile("valid.lst", parts[0]);
  fuzz::writeFile("nodelist.123", parts[1]);
  fuzz::writeFile("pointlist.123", parts[2]);
  {
    fuzz::Run run;
    try {
      indexAndLookUp(parts[3], data[0] & 1);
    } catch (const fuzz::ProgramEnded&) {
    }
  }
  korva::indexState.validList = korva::indexState.nodelist = korva::indexState.pointlist = nullptr;
  korva::indexState.open = false;
  return 0;
}
