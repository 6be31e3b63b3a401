#include "lisdor/converter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using lisdor::SourceForm;
using lisdor::UserRecord;

std::string addressOf(const UserRecord& r) { return formatAddress4d(r.address); }

TEST(DetectSourceForm, ListFormNeedsDigitsColonDigitsSlashAtTheStart) {
  struct Case {
    const char* line;
    SourceForm form;
  } cases[] = {
      {"2:5020/1 Ivan Ivanov", SourceForm::kList},
      {"2:5020/12.3 Petr Petrov", SourceForm::kList},
      {"Ivanov, Ivan    2:5020/1", SourceForm::kUserlist},
      {" 2:5020/1 leading blank", SourceForm::kUserlist},
      {"2:5020 no slash", SourceForm::kUserlist},
      {":5020/1 no zone", SourceForm::kUserlist},
      {"2:/1 no net", SourceForm::kUserlist},
      {"2:50.20/1 dot before slash", SourceForm::kUserlist},
      {"", SourceForm::kUserlist},
  };
  for (const Case& c : cases) EXPECT_EQ(lisdor::detectSourceForm(c.line), c.form) << c.line;
}

TEST(ParseUserlistLine, TakesTheAddressAfterTheLastBlankAndReordersCommaNames) {
  struct Case {
    const char* line;
    const char* address;
    const char* name;
  } cases[] = {
      {"Ivanov, Ivan                2:5020/1", "2:5020/1.0", "Ivan Ivanov"},
      {"Petr Petrov   2:5020/12.3", "2:5020/12.3", "Petr Petrov"},
      {"Petr Petrov 2:5020/12.3   ", "2:5020/12.3", "Petr Petrov"},  // trailing blanks ignored
      {"Ivanov,Ivan 2:5020/1", "2:5020/1.0", "Ivan Ivanov"},         // no blank after the comma
      {"Ivanov,  Ivan 2:5020/1", "2:5020/1.0", " Ivan Ivanov"},      // only one blank is skipped
      {"Smith, Jr., John 1:2/3", "1:2/3.0", "John Smith, Jr."},      // the last comma splits
      {"Half Address 2:5020", "2:5020/0.0", "Half Address"},         // unread fields stay 0
      {"Name garbage", "0:0/0.0", "Name"},
  };
  for (const Case& c : cases) {
    UserRecord r;
    ASSERT_TRUE(lisdor::parseUserlistLine(c.line, r)) << c.line;
    EXPECT_EQ(addressOf(r), c.address) << c.line;
    EXPECT_EQ(r.name, c.name) << c.line;
  }
  for (const char* bad : {"", "   ", "2:5020/1", "NoBlankAtAll"}) {
    UserRecord r;
    EXPECT_FALSE(lisdor::parseUserlistLine(bad, r)) << '"' << bad << '"';
  }
}

TEST(ParseListLine, TakesTheAddressFromTheStartAndTheNameAfterTheFirstBlank) {
  struct Case {
    const char* line;
    const char* address;
    const char* name;
  } cases[] = {
      {"2:5020/1             Ivan Ivanov", "2:5020/1.0", "Ivan Ivanov"},
      {"2:5020/12.3 \t Petr, Petrov ", "2:5020/12.3", "Petr, Petrov "},  // kept as written
      {"nonsense Name", "0:0/0.0", "Name"},
  };
  for (const Case& c : cases) {
    UserRecord r;
    ASSERT_TRUE(lisdor::parseListLine(c.line, r)) << c.line;
    EXPECT_EQ(addressOf(r), c.address) << c.line;
    EXPECT_EQ(r.name, c.name) << c.line;
  }
  UserRecord r;
  EXPECT_FALSE(lisdor::parseListLine("2:5020/1", r));
  EXPECT_FALSE(lisdor::parseListLine("", r));
}

TEST(FormatListLine, PadsTheAddressWithItsBlankTo21Columns) {
  struct Case {
    FtnAddress address;
    const char* line;
  } cases[] = {
      {{2, 5020, 1, 0}, "2:5020/1             Ivan\n"},
      {{2, 5020, 12, 3}, "2:5020/12.3          Ivan\n"},
      {{-1, -2, -3, 0}, "-1:-2/-3             Ivan\n"},
      {{12, 5020, 12345, 1234}, "12:5020/12345.1234   Ivan\n"},
      {{32767, 32767, 3276, 327}, "32767:32767/3276.327 Ivan\n"},      // 20 characters and the blank
      {{32767, 32767, 32767, 3276}, "32767:32767/32767.3276 Ivan\n"},  // longer: the blank only
  };
  for (const Case& c : cases) EXPECT_EQ(lisdor::formatListLine({c.address, "Ivan"}), c.line);
}

TEST(SortedOrder, AppliesTheAskedSortsInTheirFixedOrder) {
  const std::vector<UserRecord> users = {
      {{2, 5020, 1, 2}, "ivan Ivanov"},     // 0
      {{2, 5020, 1, -1}, "Anna Sidorova"},  // 1: point 65535 as unsigned
      {{10, 1, 1, 0}, "\x80nton Bykov"},    // 2: CP866 capital A sorts after the Latin letters
      {{2, 450, 7, 0}, "Zed"},              // 3
      {{2, 5020, 1, 0}, "Ivan Ivanov"},     // 4: the same names as 0, a smaller address
  };
  using Order = std::vector<uint32_t>;
  struct Case {
    lisdor::SortOptions sorts;
    Order order;
  } cases[] = {
      {{false, false, false}, {0, 1, 2, 3, 4}},
      {{true, false, false}, {3, 4, 0, 1, 2}},
      {{false, true, false}, {1, 0, 4, 3, 2}},
      {{false, false, true}, {2, 0, 4, 1, 3}},  // keys: IvanovIvan, SidorovaAnna, BykovAnton, Zed
      {{true, false, true}, {2, 4, 0, 1, 3}},   // the last sort decides, ties keep the order before
      {{true, true, false}, {1, 4, 0, 3, 2}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(lisdor::sortedOrder(users, c.sorts), c.order)
        << c.sorts.byAddress << c.sorts.byFirstName << c.sorts.byLastName;
  }
}

}  // namespace
