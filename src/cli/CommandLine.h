#pragma once
// What the console programs share of their command lines: GNU-style options
// through QCommandLineParser, with every argument kept as the bytes given.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mivotra::cmdline {

// Each byte of argv as one Latin-1 character, so that a file name that is not
// UTF-8 comes back from Bytes exactly as it was given.
QStringList Arguments(int argc, char** argv);
std::string Bytes(const QString& argument);

// Parses the arguments; the text of the usage error when there is one. An
// option of `once` given twice is an error (which value was meant cannot be
// told), and so is an empty value for one of `nonEmpty`.
std::optional<std::string> Parse(QCommandLineParser& parser, const QStringList& arguments,
                                 const std::vector<const QCommandLineOption*>& once,
                                 const std::vector<const QCommandLineOption*>& nonEmpty);

// The value of a single-valued option as bytes.
std::string Value(const QCommandLineParser& parser, const QCommandLineOption& option);

// What --version prints: "<program> (MivotraPatch20091109) <version>\n".
std::string VersionText(std::string_view program);

}  // namespace mivotra::cmdline
