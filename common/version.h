// The release the three programs belong to: their banners, usage texts, --version lines, tear lines,
// PID kludges, log headers and statistic files all show it.
#ifndef COMMON_VERSION_H_
#define COMMON_VERSION_H_

namespace version {

constexpr const char* kNumber = "2.10/32";
constexpr const char* kDate = "Apr 2005";

}  // namespace version

#endif  // COMMON_VERSION_H_
