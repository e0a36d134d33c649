#include "cli/CommandLine.h"

#include "res/Texts.h"
#include "res/Version.h"

namespace mivotra::cmdline {
namespace {

std::string LongestName(const QCommandLineOption& option) {
  QString longest;
  for (const QString& name : option.names())
    if (name.size() > longest.size()) longest = name;
  return (longest.size() > 1 ? "--" : "-") + Bytes(longest);
}

}  // namespace

QStringList Arguments(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(QString::fromLatin1(argv[i]));
  return arguments;
}

std::string Bytes(const QString& argument) {
  const QByteArray bytes = argument.toLatin1();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::optional<std::string> Parse(QCommandLineParser& parser, const QStringList& arguments,
                                 const std::vector<const QCommandLineOption*>& once,
                                 const std::vector<const QCommandLineOption*>& nonEmpty) {
  if (!parser.parse(arguments)) return Bytes(parser.errorText());
  for (const QCommandLineOption* option : once) {
    if (parser.values(*option).size() > 1) return LongestName(*option) + " is given more than once";
  }
  for (const QCommandLineOption* option : nonEmpty) {
    if (parser.isSet(*option) && parser.value(*option).isEmpty())
      return LongestName(*option) + " needs a value that is not empty";
  }
  return std::nullopt;
}

std::string Value(const QCommandLineParser& parser, const QCommandLineOption& option) {
  return Bytes(parser.value(option));
}

std::string VersionText(std::string_view program) {
  return std::string(program) + " (" + std::string(texts::DisplayName) + ") " +
         std::string(version::Text) + "\n";
}

}  // namespace mivotra::cmdline
