#include "cli/CommandLine.h"

#include "base/Translate.h"
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

// QCommandLineParser's own error in the program's words: its text is Qt's
// and, without a QCoreApplication, always English. The option it names is
// the part between its first and last quote.
std::string ParseError(const QCommandLineParser& parser) {
  const QStringList unknown = parser.unknownOptionNames();
  if (!unknown.isEmpty())
    return Format(Tr("cmdline", "Unknown option '%1'."), {Bytes(unknown.front())});
  const QString text = parser.errorText();
  const qsizetype first = text.indexOf(u'\'');
  const qsizetype last = text.lastIndexOf(u'\'');
  if (first < 0 || last <= first) return Bytes(text);
  const std::string option = Bytes(text.mid(first + 1, last - first - 1));
  if (text.startsWith(QLatin1String("Missing value")))
    return Format(Tr("cmdline", "Missing value after '%1'."), {option});
  if (text.startsWith(QLatin1String("Unexpected value")))
    return Format(Tr("cmdline", "Unexpected value after '%1'."), {option});
  return Bytes(text);
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
  if (!parser.parse(arguments)) return ParseError(parser);
  for (const QCommandLineOption* option : once) {
    if (parser.values(*option).size() > 1) {
      return Format(Tr("cmdline", "%1 is given more than once"), {LongestName(*option)});
    }
  }
  for (const QCommandLineOption* option : nonEmpty) {
    if (parser.isSet(*option) && parser.value(*option).isEmpty())
      return Format(Tr("cmdline", "%1 needs a value that is not empty"), {LongestName(*option)});
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
