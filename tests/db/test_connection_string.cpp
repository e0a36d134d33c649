// The connection string the tool builds and the engine's reading of it.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "jet/ComError.h"
#include "jet/ConnectionString.h"

namespace mivotra {
namespace {

constexpr const char* kPasswordKey = "jet oledb:database password";

TEST(BuildConnectionString, ExactText) {
  struct Case {
    std::string path, file, password, text;
  };
  const std::vector<Case> cases = {
      {"C:\\Data\\", "data1", "",
       "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=C:\\Data\\data1.mdb;"
       "Jet OLEDB:Database Password='';"},
      {"C:\\Data", "data1", "pw",
       "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=C:\\Datadata1.mdb;"
       "Jet OLEDB:Database Password='pw';"},
      {"/home/user/ミボトラ/", "データ", "secret",
       "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=/home/user/ミボトラ/データ.mdb;"
       "Jet OLEDB:Database Password='secret';"},
      {"/d/", "x", "semi;colon \"quoted\" =",
       "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=/d/x.mdb;"
       "Jet OLEDB:Database Password='semi;colon \"quoted\" =';"},
      // A quote in the password is doubled instead of ending the value early.
      {"/d/", "x", "it's",
       "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=/d/x.mdb;"
       "Jet OLEDB:Database Password='it''s';"},
      {"/d/", "x", "''",
       "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=/d/x.mdb;"
       "Jet OLEDB:Database Password='''''';"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BuildConnectionString(c.path, c.file, c.password), c.text);
  }
}

TEST(ParseConnectionString, OleDbRules) {
  using Pairs = std::map<std::string, std::string>;
  struct Case {
    std::string text;
    Pairs pairs;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {" ; ;; ", {}},
      {"a=1;b=2", {{"a", "1"}, {"b", "2"}}},
      {"a=1;b=2;", {{"a", "1"}, {"b", "2"}}},
      {"  Data Source  =  /x y/z.mdb  ;", {{"data source", "/x y/z.mdb"}}},
      {"PROVIDER=Jet;provider=Other", {{"provider", "Other"}}},  // the last one wins
      {"k=", {{"k", ""}}},
      {"k=  ;j=1", {{"k", ""}, {"j", "1"}}},
      {"k=''", {{"k", ""}}},
      {"k='v;w=x'", {{"k", "v;w=x"}}},
      {"k=\"v;w\"", {{"k", "v;w"}}},
      {"k='it''s'", {{"k", "it's"}}},
      {"k=\"say \"\"hi\"\"\"", {{"k", "say \"hi\""}}},
      {"k=\"it's\"", {{"k", "it's"}}},
      {"k='say \"hi\"'", {{"k", "say \"hi\""}}},
      {"k=' padded '  ; j=2", {{"k", " padded "}, {"j", "2"}}},
      {"k=ab'c", {{"k", "ab'c"}}},  // a quote inside an unquoted value is kept
      {"a==b=c", {{"a=b", "c"}}},
      {"==x=1", {{"=x", "1"}}},
      {"k=a=b", {{"k", "a=b"}}},
      {"Jet OLEDB:Database Password='パス'", {{kPasswordKey, "パス"}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseConnectionString(c.text), c.pairs) << c.text;
  }
}

TEST(ParseConnectionString, MalformedStringsNameNoValues) {
  const std::vector<std::string> cases = {
      "secretword",
      "a=1;secretword",
      "Password='secretword",
      "Password=\"secretword",
      "Password='secret''word",
      "Password='secret'word",
      "Password='secret' 'word'",
      "=secretword",
      "  =secretword;a=1",
  };
  for (const std::string& text : cases) {
    try {
      ParseConnectionString(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const ComError& error) {
      EXPECT_EQ(error.Error(), E_Fail) << text;
      EXPECT_TRUE(error.Description().starts_with(
          "Format of the initialization string does not conform to the OLE DB rules."))
          << error.Description();
      EXPECT_FALSE(error.Source().empty());
      EXPECT_EQ(error.Description().find("secret"), std::string::npos) << error.Description();
      EXPECT_EQ(error.Description().find("word"), std::string::npos) << error.Description();
      EXPECT_EQ(std::string(error.what()).find("secret"), std::string::npos);
    }
  }
}

// Whatever the settings hold as password, the engine reads that very password.
TEST(ConnectionString, PasswordsRoundTrip) {
  std::vector<std::string> passwords = {
      "",         "'",
      "''",       "\"",
      "\"\"",     ";",
      "=",        "==",
      "a;b=c",    "it's",
      "'quoted'", "\"dq\"",
      " ",        "  lead",
      "trail  ",  " both ",
      "\tTab",    "パスワード",
      "日本 語",  "'; Provider=Other;",
      "x'';y",    "Password='x'",
      "\\",       "a\"'b",
  };
  // And random mixes of the characters that matter to the syntax.
  const std::vector<std::string> pieces = {"'", "\"", ";", "=",  " ",  "\t",
                                           "a", "Z",  "9", "あ", "漢", "\\"};
  std::mt19937 random(20091109);
  for (int i = 0; i < 2000; ++i) {
    std::string password;
    const int length = static_cast<int>(random() % 12);
    for (int j = 0; j < length; ++j) password += pieces[random() % pieces.size()];
    passwords.push_back(password);
  }
  for (const std::string& password : passwords) {
    const std::string text = BuildConnectionString("/home/user/ミボトラ/", "data1", password);
    std::map<std::string, std::string> pairs;
    ASSERT_NO_THROW(pairs = ParseConnectionString(text)) << text;
    EXPECT_EQ(pairs.size(), 3u) << text;
    EXPECT_EQ(pairs["provider"], "Microsoft.Jet.OLEDB.4.0");
    EXPECT_EQ(pairs["data source"], "/home/user/ミボトラ/data1.mdb");
    EXPECT_EQ(pairs[kPasswordKey], password) << text;
  }
}

}  // namespace
}  // namespace mivotra

namespace mivotra {
namespace {

// Folders with ';', quotes or outer blanks still name the very file; ordinary
// folders give the unquoted text the main application's tools expect.
TEST(ConnectionString, DataSourcesRoundTrip) {
  const std::vector<std::string> folders = {
      "/d/",       "/共有 フォルダ/", "/a;b/",   "/x 'y' \"z\"; #1/", " /lead/",
      "'/quoted/", "\"/dq/",          "/trail ", "/semi;;colon/",     "/eq=ual/",
  };
  for (const std::string& folder : folders) {
    const std::string text = BuildConnectionString(folder, "data1", "pw");
    std::map<std::string, std::string> pairs;
    ASSERT_NO_THROW(pairs = ParseConnectionString(text)) << text;
    EXPECT_EQ(pairs["data source"], folder + "data1.mdb") << text;
    EXPECT_EQ(pairs["jet oledb:database password"], "pw") << text;
  }
  EXPECT_EQ(
      BuildConnectionString("/共有 フォルダ/", "data1", ""),
      "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=/共有 フォルダ/data1.mdb;Jet OLEDB:Database Password='';");
}

}  // namespace
}  // namespace mivotra
