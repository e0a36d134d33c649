// The four-line error report, the message text behind it and ComError's own texts.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "base/Utf8.h"
#include "jet/ComError.h"
#include "jet/SystemMessages.h"
#include "report/ErrorReport.h"

namespace mivotra {
namespace {

// Sets the locale variables for one test and puts the old values back.
class LocaleEnvironment {
 public:
  LocaleEnvironment(const char* lcAll, const char* lcMessages, const char* lang) {
    Set("LC_ALL", lcAll);
    Set("LC_MESSAGES", lcMessages);
    Set("LANG", lang);
  }
  ~LocaleEnvironment() {
    for (const auto& [name, value] : m_saved) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }
  LocaleEnvironment(const LocaleEnvironment&) = delete;
  LocaleEnvironment& operator=(const LocaleEnvironment&) = delete;

 private:
  void Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

ComError WithInfo(HRESULT code, std::string source, std::string description) {
  return ComError(code, ErrorInfo{std::move(source), std::move(description)});
}

std::string Repeat(std::string_view piece, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += piece;
  return text;
}

// The lines of a report, each with its LF if it has one.
std::vector<std::string> Lines(const std::string& report) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < report.size()) {
    std::size_t end = report.find('\n', start);
    end = end == std::string::npos ? report.size() : end + 1;
    lines.push_back(report.substr(start, end - start));
    start = end;
  }
  return lines;
}

TEST(FormatComError, WholeReports) {
  LocaleEnvironment english("C.UTF-8", nullptr, "C.UTF-8");
  struct Case {
    ComError error;
    std::string report;
  };
  const std::vector<Case> cases = {
      {ComError(E_Pointer),
       "Message : Invalid pointer\nCode : 0x80004003\nSource : null\nDescription : null\n"},
      {WithInfo(DB_E_Syntax, "Mivotra Jet engine", "Syntax error in CREATE TABLE statement."),
       "Message : IDispatch error #3092\nCode : 0x80040e14\nSource : Mivotra Jet engine\n"
       "Description : Syntax error in CREATE TABLE statement.\n"},
      {WithInfo(DB_E_NoTable, "", "The table 't_x' was not found."),
       "Message : IDispatch error #3127\nCode : 0x80040e37\nSource : null\n"
       "Description : The table 't_x' was not found.\n"},
      {WithInfo(DB_SEC_E_AuthFailed, "engine", ""),
       "Message : IDispatch error #3149\nCode : 0x80040e4d\nSource : engine\n"
       "Description : null\n"},
      {WithInfo(ADO_E_ObjectClosed, "ADODB.Connection",
                "Operation is not allowed when the object is closed."),
       "Message : Unknown error 0x800A0E78\nCode : 0x800a0e78\nSource : ADODB.Connection\n"
       "Description : Operation is not allowed when the object is closed.\n"},
      {WithInfo(E_Fail, "engine", "Could not find file '/data/データ.mdb'."),
       "Message : Unspecified error\nCode : 0x80004005\nSource : engine\n"
       "Description : Could not find file '/data/データ.mdb'.\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatComError(c.error), c.report);
  }
}

TEST(FormatComError, MessageLineForms) {
  LocaleEnvironment english("C.UTF-8", nullptr, "C.UTF-8");
  struct Case {
    std::uint32_t code;
    std::string message;
  };
  const std::vector<Case> cases = {
      {0x80004003, "Invalid pointer"},
      {0x80004005, "Unspecified error"},
      {0x8007000E, "Not enough memory resources are available to complete this operation."},
      {0x80070005, "Access is denied."},
      {0x80040E14, "IDispatch error #3092"},
      {0x80040E37, "IDispatch error #3127"},
      {0x80040E4D, "IDispatch error #3149"},
      {0x80040201, "IDispatch error #1"},
      {0x8004FFFF, "IDispatch error #65023"},
      // Just outside the numbered range on either side.
      {0x80040200, "Unknown error 0x80040200"},
      {0x80050000, "Unknown error 0x80050000"},
      {0x00000001, "Unknown error 0x1"},
      {0x000ABCDE, "Unknown error 0xABCDE"},
      {0xFFFFFFFF, "Unknown error 0xFFFFFFFF"},
  };
  for (const Case& c : cases) {
    const ComError error(MakeHResult(c.code));
    EXPECT_EQ(error.ErrorMessage(), c.message) << std::hex << c.code;
    EXPECT_EQ(Lines(FormatComError(error)).at(0), "Message : " + c.message + "\n")
        << std::hex << c.code;
  }
}

TEST(ErrorMessageText, StripsOnlyTheFinalLineEnd) {
  struct Case {
    std::optional<std::string> systemText;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"Invalid pointer\r\n", "Invalid pointer"},
      {"Invalid pointer\n", "Invalid pointer"},
      {"two\r\nlines\r\n", "two\r\nlines"},
      {"ends in CR\r", "ends in CR\r"},
      {"double\n\n", "double\n"},
      {"CR twice\r\r\n", "CR twice\r"},
      {"\r\n", ""},
      {"\n", "\n"},  // one character: left alone
      {"x", "x"},
      // No text at all falls to the code's own form.
      {"", "Unknown error 0x80004005"},
      {std::nullopt, "Unknown error 0x80004005"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorMessageText(E_Fail, c.systemText), c.message)
        << testing::PrintToString(c.systemText);
  }
}

TEST(SystemMessage, EveryStandardTextEndsWithCrLf) {
  for (HRESULT code : {E_Pointer, E_Fail, E_AccessDenied, E_OutOfMemory}) {
    for (const char* lang : {"C.UTF-8", "ja_JP.UTF-8"}) {
      LocaleEnvironment locale(nullptr, nullptr, lang);
      const std::optional<std::string> text = SystemMessage(code);
      ASSERT_TRUE(text.has_value()) << code << " " << lang;
      EXPECT_TRUE(text->ends_with("\r\n")) << code << " " << lang;
      EXPECT_GT(text->size(), 2u);
    }
  }
  for (HRESULT code : {DB_E_Syntax, DB_E_NoTable, DB_SEC_E_AuthFailed, ADO_E_ProviderNotFound,
                       ADO_E_ItemNotFound, MakeHResult(0x80040200)}) {
    EXPECT_FALSE(SystemMessage(code).has_value()) << code;
  }
}

TEST(SystemMessage, LanguageFollowsTheLocaleVariablesInOrder) {
  struct Case {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    std::string message;
  };
  const std::string english = "Message : Invalid pointer\n";
  const std::string japanese = "Message : 無効なポインターです\n";
  const std::vector<Case> cases = {
      {nullptr, nullptr, "ja_JP.UTF-8", japanese},
      {nullptr, nullptr, "ja", japanese},
      {nullptr, nullptr, "en_US.UTF-8", english},
      {nullptr, nullptr, nullptr, english},
      {"C", nullptr, "ja_JP.UTF-8", english},
      {"ja_JP.eucJP", nullptr, "en_US.UTF-8", japanese},
      {"", "ja_JP.UTF-8", "C", japanese},
      {nullptr, "de_DE.UTF-8", "ja_JP.UTF-8", english},
      {"", "", "ja_JP.UTF-8", japanese},
      {nullptr, nullptr, "jv_ID", english},  // Javanese, not Japanese
  };
  for (const Case& c : cases) {
    LocaleEnvironment locale(c.lcAll, c.lcMessages, c.lang);
    EXPECT_EQ(Lines(FormatComError(ComError(E_Pointer))).at(0), c.message)
        << (c.lcAll ? c.lcAll : "-") << " " << (c.lcMessages ? c.lcMessages : "-") << " "
        << (c.lang ? c.lang : "-");
  }
}

TEST(SystemMessage, JapaneseTexts) {
  LocaleEnvironment japanese(nullptr, nullptr, "ja_JP.UTF-8");
  const std::vector<std::pair<HRESULT, std::string>> cases = {
      {E_Pointer, "無効なポインターです"},
      {E_Fail, "エラーを特定できません"},
      {E_OutOfMemory, "この操作を完了するのに十分な記憶域がありません。"},
      {E_AccessDenied, "アクセスが拒否されました。"},
      {DB_E_Syntax, "IDispatch error #3092"},
  };
  for (const auto& [code, message] : cases) {
    EXPECT_EQ(ComError(code).ErrorMessage(), message) << code;
  }
}

TEST(ComError, MessageIsComputedOnceAndKept) {
  std::optional<LocaleEnvironment> locale;
  locale.emplace(nullptr, nullptr, "C.UTF-8");
  const ComError error(E_Pointer);
  const std::string& first = error.ErrorMessage();
  EXPECT_EQ(first, "Invalid pointer");
  locale.reset();
  LocaleEnvironment japanese(nullptr, nullptr, "ja_JP.UTF-8");
  EXPECT_EQ(&error.ErrorMessage(), &first);
  EXPECT_EQ(error.ErrorMessage(), "Invalid pointer");
  // A copy thrown on keeps the text too.
  const ComError copy = error;
  EXPECT_EQ(copy.ErrorMessage(), "Invalid pointer");
}

TEST(ComError, AccessorsAndWhat) {
  LocaleEnvironment english("C.UTF-8", nullptr, "C.UTF-8");
  const ComError bare(E_Pointer);
  EXPECT_EQ(bare.Error(), E_Pointer);
  EXPECT_FALSE(bare.Info().has_value());
  EXPECT_EQ(bare.Source(), "");
  EXPECT_EQ(bare.Description(), "");
  EXPECT_STREQ(bare.what(), "Invalid pointer (0x80004003)");

  // Descriptions may name files or carry user data: what() is for logs and
  // holds the message and the code only.
  const ComError detailed = WithInfo(DB_SEC_E_AuthFailed, "engine", "Not a valid password: s3cret");
  EXPECT_EQ(detailed.Source(), "engine");
  EXPECT_EQ(detailed.Description(), "Not a valid password: s3cret");
  EXPECT_STREQ(detailed.what(), "IDispatch error #3149 (0x80040e4d)");

  try {
    throw detailed;
  } catch (const std::exception& caught) {
    EXPECT_STREQ(caught.what(), "IDispatch error #3149 (0x80040e4d)");
  }
}

TEST(FormatComError, LongLinesAreCutAt1023BytesOnACharacterBoundary) {
  LocaleEnvironment english("C.UTF-8", nullptr, "C.UTF-8");
  const std::string label = "Description : ";  // 14 bytes: 1,009 left for the text
  struct Case {
    std::string description;
    std::size_t lineBytes;
    bool keepsLf;
  };
  const std::vector<Case> cases = {
      {std::string(2000, 'x'), 1023, false},
      {std::string(1008, 'x'), 1023, true},   // fits with its LF
      {std::string(1009, 'x'), 1023, false},  // only the LF is lost
      {std::string(1010, 'x'), 1023, false},
      {Repeat("あ", 700), 1022, false},         // 336 characters, 1,008 bytes
      {"x" + Repeat("あ", 700), 1023, false},   // 1 + 336 * 3 = 1,009 bytes
      {"xx" + Repeat("あ", 700), 1021, false},  // a character would straddle byte 1,023
      {Repeat("😀", 500), 1022, false},          // four-byte characters
      {Repeat("é", 1000), 1022, false},
  };
  for (const Case& c : cases) {
    const std::string report = FormatComError(WithInfo(E_Fail, "engine", c.description));
    const std::vector<std::string> lines = Lines(report);
    ASSERT_EQ(lines.size(), 4u);
    const std::string& line = lines[3];
    EXPECT_EQ(line.size(), c.lineBytes) << c.description.size();
    EXPECT_EQ(line.ends_with('\n'), c.keepsLf) << c.description.size();
    EXPECT_TRUE(line.starts_with(label));
    EXPECT_TRUE(utf8::IsValid(line));
    // What is left is the text's own beginning.
    const std::string kept = line.substr(label.size(), line.size() - label.size() - c.keepsLf);
    EXPECT_TRUE(c.description.starts_with(kept));
    // The lines before are untouched.
    EXPECT_EQ(lines[2], "Source : engine\n");
  }
}

// A cut line has lost its LF, so the next line runs on after it.
TEST(FormatComError, LongSourceIsCutToo) {
  LocaleEnvironment english("C.UTF-8", nullptr, "C.UTF-8");
  EXPECT_EQ(FormatComError(WithInfo(E_Fail, std::string(3000, 's'), "d")),
            "Message : Unspecified error\nCode : 0x80004005\nSource : " + std::string(1014, 's') +
                "Description : d\n");
}

TEST(FormatComError, BrokenBytesBecomeReplacementCharacters) {
  const std::string fffd = "\xEF\xBF\xBD";
  struct Case {
    std::string text;
    std::string shown;
  };
  const std::vector<Case> cases = {
      {"ab\xFF"
       "cd",
       "ab" + fffd + "cd"},
      {"end\xE3\x81", "end" + fffd},                    // cut short: one replacement
      {"\xC0\xAF", fffd + fffd},                        // overlong '/'
      {"\xED\xA0\x80", fffd + fffd + fffd},             // a UTF-16 surrogate
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // above U+10FFFF
      {"\x80\x80", fffd + fffd},                        // stray continuation bytes
      {"\xE3\x81\xE3\x81\x82", fffd + "あ"},
      {"\xF0\x9F\x98", fffd},
      {"日本語", "日本語"},
      // A printf "%s" stopped at the first NUL.
      {std::string("abc\0def", 7), "abc"},
      {std::string("\0abc", 4), "null"},
  };
  for (const Case& c : cases) {
    const std::string report = FormatComError(WithInfo(E_Fail, c.text, c.text));
    const std::vector<std::string> lines = Lines(report);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "Source : " + c.shown + "\n") << testing::PrintToString(c.text);
    EXPECT_EQ(lines[3], "Description : " + c.shown + "\n") << testing::PrintToString(c.text);
  }
}

TEST(FormatComError, BrokenBytesAtTheCutStayWhole) {
  // Each 0xFF grows to three bytes; the cut must still fall between characters.
  for (std::size_t count : {335u, 336u, 337u, 600u}) {
    const std::string report =
        FormatComError(WithInfo(E_Fail, "engine", std::string(count, '\xFF')));
    const std::vector<std::string> lines = Lines(report);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_LE(lines[3].size(), 1023u);
    EXPECT_TRUE(utf8::IsValid(lines[3])) << count;
  }
}

TEST(Utf8, CutPoint) {
  const std::string text = "aあb";  // a E3 81 82 b
  struct Case {
    std::size_t maxBytes;
    std::size_t cut;
  };
  for (const Case& c : std::vector<Case>{{0, 0}, {1, 1}, {2, 1}, {3, 1}, {4, 4}, {5, 5}, {9, 5}}) {
    EXPECT_EQ(utf8::CutPoint(text, c.maxBytes), c.cut) << c.maxBytes;
  }
}

TEST(Utf8, AcceptsEveryFormAndRefusesTheIllFormedOnes) {
  // The first and last code point of each length and either side of the surrogates.
  for (const char* good :
       {"\x7F", "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80",
        "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF"}) {
    EXPECT_TRUE(utf8::IsValid(std::string("a") + good + "b")) << testing::PrintToString(good);
  }
  // Overlong forms, surrogates, beyond U+10FFFF, stray and cut-off sequences.
  for (const char* bad : {"\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF0\x80\x80\x80",
                          "\xF4\x90\x80\x80", "\x80", "\xFF", "\xE3\x81"}) {
    EXPECT_FALSE(utf8::IsValid(std::string("a") + bad + "b")) << testing::PrintToString(bad);
  }
}

}  // namespace
}  // namespace mivotra
