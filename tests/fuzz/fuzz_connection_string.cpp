// The connection string parser on any text, and the builder's promise that
// whatever folder, name and password it is given, the engine parses back
// exactly those.

#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstdint>
#include <map>
#include <string>

#include "FuzzCheck.h"
#include "jet/ComError.h"
#include "jet/ConnectionString.h"

namespace mivotra {
namespace {

using fuzz::Check;
using fuzz::Shown;

bool IsBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// A parsed map written out again in the most explicit form: '=' in keys
// doubled, every value in double quotes.
std::string Serialize(const std::map<std::string, std::string>& pairs) {
  std::string text;
  for (const auto& [key, value] : pairs) {
    for (char c : key) text += c == '=' ? std::string("==") : std::string(1, c);
    text += "=\"";
    for (char c : value) text += c == '"' ? std::string("\"\"") : std::string(1, c);
    text += "\";";
  }
  return text;
}

void ParseAnyText(std::string_view text) {
  std::map<std::string, std::string> pairs;
  try {
    pairs = ParseConnectionString(text);
  } catch (const ComError& error) {
    Check(error.Error() == E_Fail, "a malformed string fails with E_Fail", Shown(text));
    Check(!error.Source().empty(), "the failure names its source", Shown(text));
    Check(error.Description().starts_with("Format of the initialization string"),
          "the failure describes the format fault", error.Description());
    return;
  }
  for (const auto& [key, value] : pairs) {
    Check(!key.empty(), "no empty key", Shown(text));
    Check(!IsBlank(key.front()) && !IsBlank(key.back()), "keys are trimmed", Shown(key));
    Check(key.find(';') == std::string::npos, "no ';' in a key", Shown(key));
    for (char c : key) Check(!std::isupper(static_cast<unsigned char>(c)), "keys are lower case");
  }
  const std::string again = Serialize(pairs);
  std::map<std::string, std::string> reparsed;
  try {
    reparsed = ParseConnectionString(again);
  } catch (const ComError&) {
    fuzz::Fail("a re-serialized string parses", Shown(again) + " from " + Shown(text));
  }
  Check(reparsed == pairs, "re-serializing keeps every pair",
        Shown(again) + " from " + Shown(text));
}

void BuildThenParse(FuzzedDataProvider& data) {
  const std::string path = data.ConsumeRandomLengthString(256);
  const std::string file = data.ConsumeRandomLengthString(256);
  const std::string password = data.ConsumeRemainingBytesAsString();
  const std::string built = BuildConnectionString(path, file, password);
  std::map<std::string, std::string> pairs;
  try {
    pairs = ParseConnectionString(built);
  } catch (const ComError&) {
    fuzz::Fail("a built string parses", Shown(built));
  }
  const std::string detail = Shown(built);
  Check(pairs.size() == 3, "exactly provider, data source and password", detail);
  Check(pairs["provider"] == "Microsoft.Jet.OLEDB.4.0", "the provider", detail);
  Check(pairs["data source"] == path + file + ".mdb", "the data source comes back whole", detail);
  Check(pairs["jet oledb:database password"] == password, "the password comes back as stored",
        detail);
}

}  // namespace
}  // namespace mivotra

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  mivotra::ParseAnyText(text);
  FuzzedDataProvider data(bytes, size);
  mivotra::BuildThenParse(data);
  return 0;
}
