// Inputs the fuzz targets (tests/fuzz) found to break an invariant, kept here
// so the regular suite holds the line. Each input is also a seed of its target.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "jet/ConnectionString.h"

namespace mivotra {
namespace {

// A folder that starts with '=' made the key read "Data Source==...": the
// doubled '=' is a literal '=' in a key, so the data source vanished into the key.
TEST(FuzzRegressions, DataSourceStartingWithEqualsSignComesBackWhole) {
  const std::vector<std::string> folders = {"=", "=/", "==x/", "=b= >, vaD=&Da/", " =lead/"};
  for (const std::string& folder : folders) {
    const std::string text = BuildConnectionString(folder, "data1", "pw");
    std::map<std::string, std::string> pairs;
    ASSERT_NO_THROW(pairs = ParseConnectionString(text)) << text;
    EXPECT_EQ(pairs.size(), 3u) << text;
    EXPECT_EQ(pairs["data source"], folder + "data1.mdb") << text;
    EXPECT_EQ(pairs["jet oledb:database password"], "pw") << text;
  }
}

}  // namespace
}  // namespace mivotra
