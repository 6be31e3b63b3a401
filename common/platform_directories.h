// The platform layer's directory listings and its index of directory entries, shared by the two
// files of the layer (platform.cc, platform_directories.cc); nothing outside common/platform* uses it.
//
// A directory is named here as resolvePath gives it: "" for the working directory, else a path
// ending in "/".
#ifndef COMMON_PLATFORM_DIRECTORIES_H_
#define COMMON_PLATFORM_DIRECTORIES_H_

#include <string>
#include <string_view>
#include <vector>

#include "common/platform.h"

namespace platform::directories {

// The entries of the directory whose names match the wildcard, in the order the directory lists
// them, with whether each is a regular file: a link judged by what it names when followLinks is
// set, as no regular file otherwise.  Empty when the directory cannot be read.
std::vector<DirectoryEntry> listDirectory(const std::string& directory, std::string_view wildcard, bool followLinks);

enum class Lookup { kExact, kOtherCase, kMissing };

// How `name` stands in the directory: kExact when an entry has exactly that name; else kOtherCase
// with `match` the first entry in directory order equal to it ignoring ASCII case; else kMissing.
Lookup findEntry(const std::string& directory, std::string_view name, std::string& match);

// Drops every index, to be listed again at its next use: after a change of working directory a
// relative path names another directory.
void forgetAll();

}  // namespace platform::directories

#endif  // COMMON_PLATFORM_DIRECTORIES_H_
